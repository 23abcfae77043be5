// Reading Ogg files that carry a Theora picture stream, over libogg and libtheora states
// that belong to the caller (libtheora's old decoding interface). The file is a whole
// image in memory; the caller keeps the read position, so that one file can be read
// again from any page it has seen.
//
// Used by the engine's own movie decoder and by the stream stand-in of the movie layer:
// both find the streams, read the Theora headers, count the frames and walk the picture
// packets the same way.
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <cstdint>

// Where one Ogg image is read from: its bytes and the offset of the next byte the sync
// state has not been given.
struct PlatOggSource {
  const uint8_t* data;
  int64_t size;
  int64_t position;
};

// What PlatTheoraOpen found in a file.
struct PlatTheoraLayout {
  int32_t theoraSerial;
  int64_t dataStart;    // offset of the page on which the last Theora header ends
  int64_t lastGranule;  // the largest granule position of a Theora page, -1 for none
  int32_t hasVorbis;    // 1 when a Vorbis stream was found
  int32_t vorbisSerial; // the first Vorbis stream's serial number
};

// Called for each page of the first Vorbis stream, in file order.
typedef void (*PlatOggPageSink)(const ogg_page* page, void* context);

// The next page of the source through the sync state, feeding it as needed; its offset in
// the image in *offset (may be null). 1 with a page, 0 at the end of the image. Bytes that
// are no page are skipped.
int PlatOggNextPage(ogg_sync_state* sync, PlatOggSource* source, ogg_page* page, int64_t* offset);

// 1 when the packet is a Theora header packet (the top bit of its first byte), which
// carries no picture.
int PlatTheoraIsHeaderPacket(const ogg_packet* packet);

// Reads the whole image once: finds the first Theora stream (and the first Vorbis
// stream, whose pages go to the sink, which may be null), reads the three Theora headers
// into info and comment through the stream state, and notes the last granule position.
// sync, stream, info and comment must be initialised by the caller (the stream state is
// set up here for the Theora serial, and left initialised whatever the result); the
// source is read from its position to the end. 0, or -1 when there is no Theora stream or
// its headers are incomplete or refused.
int PlatTheoraOpen(ogg_sync_state* sync, ogg_stream_state* stream, theora_info* info, theora_comment* comment,
                   PlatOggSource* source, PlatTheoraLayout* layout, PlatOggPageSink vorbisPages, void* context);

// Makes the states read the picture packets again from dataStart.
void PlatTheoraRewind(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source, int64_t dataStart);

// The next picture packet of the Theora stream (header packets and gaps are skipped). 1
// with a packet, which stays valid until the states are used again; 0 at the end.
int PlatTheoraNextPacket(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source,
                         ogg_packet* packet);

// Gives the decoder one picture packet: 0, or -1 when it does not decode, which leaves
// the decoder's last picture as it was. The first packet that decodes sets *decoded to 1.
int PlatTheoraDecodePacket(theora_state* state, ogg_packet* packet, int32_t* decoded);

// The decoder's newest picture into yuv: 1, or 0 while no packet has decoded (decoded
// as PlatTheoraDecodePacket keeps it), when libtheora's planes are not set yet.
int PlatTheoraPicture(theora_state* state, int32_t decoded, yuv_buffer* yuv);

// 1 when some picture packet of the stream decodes, tried in order from dataStart with a
// decoder of its own (info must hold the three headers); the states are left at
// dataStart. A file where none does has nothing to show.
int PlatTheoraAnyPictureDecodes(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source,
                                theora_info* info, int64_t dataStart);

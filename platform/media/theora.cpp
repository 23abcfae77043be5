#include "platform/media/theora.h"

#include <algorithm>
#include <cstring>

namespace {

// Bytes handed to the sync state at a time.
constexpr int64_t kFeedBytes = 4096;

bool IsTheoraIdentification(const ogg_packet& p) {
  return p.bytes >= 7 && p.packet[0] == 0x80 && std::memcmp(p.packet + 1, "theora", 6) == 0;
}

bool IsVorbisIdentification(const ogg_packet& p) {
  return p.bytes >= 7 && p.packet[0] == 0x01 && std::memcmp(p.packet + 1, "vorbis", 6) == 0;
}

// The first packet that starts on a beginning page, read through a stream state of its own.
bool FirstPacketOf(ogg_page* page, ogg_stream_state* scratch, ogg_packet* packet) {
  ogg_stream_reset_serialno(scratch, ogg_page_serialno(page));
  if (ogg_stream_pagein(scratch, page) != 0) return false;
  return ogg_stream_packetout(scratch, packet) == 1;
}

}  // namespace

int PlatOggNextPage(ogg_sync_state* sync, PlatOggSource* source, ogg_page* page, int64_t* offset) {
  for (;;) {
    // Where the bytes the sync state still holds start in the image.
    const int64_t unread = int64_t(sync->fill) - int64_t(sync->returned);
    const int64_t at = source->position - unread;
    const long result = ogg_sync_pageseek(sync, page);
    if (result > 0) {
      if (offset) *offset = at;
      return 1;
    }
    if (result < 0) continue;  // bytes skipped while looking for a page
    if (source->position >= source->size) return 0;
    const int64_t n = std::min(kFeedBytes, source->size - source->position);
    char* buffer = ogg_sync_buffer(sync, long(n));
    if (!buffer) return 0;
    std::memcpy(buffer, source->data + source->position, size_t(n));
    ogg_sync_wrote(sync, long(n));
    source->position += n;
  }
}

int PlatTheoraIsHeaderPacket(const ogg_packet* packet) {
  return packet->bytes > 0 && (packet->packet[0] & 0x80) != 0;
}

int PlatTheoraOpen(ogg_sync_state* sync, ogg_stream_state* stream, theora_info* info, theora_comment* comment,
                   PlatOggSource* source, PlatTheoraLayout* layout, PlatOggPageSink vorbisPages, void* context) {
  *layout = PlatTheoraLayout{};
  layout->lastGranule = -1;
  ogg_stream_state scratch;
  ogg_stream_init(&scratch, 0);
  bool haveTheora = false;
  int headers = 0;
  bool refused = false;
  ogg_page page;
  int64_t offset = 0;
  while (PlatOggNextPage(sync, source, &page, &offset)) {
    const int serial = ogg_page_serialno(&page);
    if (ogg_page_bos(&page)) {
      ogg_packet first;
      if (FirstPacketOf(&page, &scratch, &first)) {
        if (!haveTheora && IsTheoraIdentification(first)) {
          haveTheora = true;
          layout->theoraSerial = serial;
          ogg_stream_reset_serialno(stream, serial);
        } else if (!layout->hasVorbis && IsVorbisIdentification(first)) {
          layout->hasVorbis = 1;
          layout->vorbisSerial = serial;
        }
      }
    }
    if (layout->hasVorbis && serial == layout->vorbisSerial && vorbisPages) vorbisPages(&page, context);
    if (!haveTheora || serial != layout->theoraSerial) continue;
    if (ogg_page_granulepos(&page) >= 0) layout->lastGranule = std::max<int64_t>(layout->lastGranule, ogg_page_granulepos(&page));
    if (headers == 3 || refused) continue;
    if (ogg_stream_pagein(stream, &page) != 0) continue;
    ogg_packet packet;
    int got;
    while (headers < 3 && (got = ogg_stream_packetout(stream, &packet)) != 0) {
      if (got < 0) continue;  // a gap in the headers: the next packet tells
      if (theora_decode_header(info, comment, &packet) != 0) {
        refused = true;
        break;
      }
      if (++headers == 3) layout->dataStart = offset;
    }
  }
  ogg_stream_clear(&scratch);
  return haveTheora && headers == 3 ? 0 : -1;
}

void PlatTheoraRewind(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source, int64_t dataStart) {
  ogg_sync_reset(sync);
  ogg_stream_reset(stream);
  source->position = std::clamp<int64_t>(dataStart, 0, source->size);
}

int PlatTheoraNextPacket(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source,
                         ogg_packet* packet) {
  for (;;) {
    const int got = ogg_stream_packetout(stream, packet);
    if (got == 1) {
      if (!PlatTheoraIsHeaderPacket(packet)) return 1;
      continue;
    }
    if (got < 0) continue;  // a gap: the frames around it still count
    ogg_page page;
    do {
      if (!PlatOggNextPage(sync, source, &page, nullptr)) return 0;
    } while (ogg_page_serialno(&page) != stream->serialno);
    ogg_stream_pagein(stream, &page);
  }
}

int PlatTheoraDecodePacket(theora_state* state, ogg_packet* packet, int32_t* decoded) {
  if (theora_decode_packetin(state, packet) < 0) return -1;
  *decoded = 1;
  return 0;
}

int PlatTheoraPicture(theora_state* state, int32_t decoded, yuv_buffer* yuv) {
  return decoded && theora_decode_YUVout(state, yuv) == 0 && yuv->y && yuv->u && yuv->v ? 1 : 0;
}

int PlatTheoraAnyPictureDecodes(ogg_sync_state* sync, ogg_stream_state* stream, PlatOggSource* source,
                                theora_info* info, int64_t dataStart) {
  theora_state probe;
  if (theora_decode_init(&probe, info) != 0) return 0;
  PlatTheoraRewind(sync, stream, source, dataStart);
  int32_t decoded = 0;
  ogg_packet packet;
  while (!decoded && PlatTheoraNextPacket(sync, stream, source, &packet))
    PlatTheoraDecodePacket(&probe, &packet, &decoded);
  theora_clear(&probe);
  PlatTheoraRewind(sync, stream, source, dataStart);
  return decoded;
}

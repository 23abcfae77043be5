// The engine's tables of services (g_SystemCalls, g_GraphicsServices and the other
// subsystems' g_*Services) are each made from one list, so that an entry is written once:
// a header of lines
//
//   KR_SERVICE(result, Function, member, (parameters))
//
// with no include guard, read once for each thing made from it with KR_SERVICE set to one
// of the makers below (and undefined after):
//
//   struct SoundServices {
//   #define KR_SERVICE KR_SERVICE_MEMBER
//   #include "engine/sound/servicelist.h"
//   #undef KR_SERVICE
//   };
//
// The tests' recording fakes read the same lists, so every entry is recorded.
#pragma once

// The function's declaration (a second one for a function declared elsewhere too, which
// the compiler then holds to the same signature).
#define KR_SERVICE_DECLARATION(result, function, member, parameters) result function parameters;
// The table's pointer to it.
#define KR_SERVICE_MEMBER(result, function, member, parameters) result(*member) parameters;
// The table's first filling: the engine's own function.
#define KR_SERVICE_DEFAULT(result, function, member, parameters) .member = function,

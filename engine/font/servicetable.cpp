#include "engine/font/services.h"

constexpr FontServices kFontServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/font/servicelist.h"
#undef KR_SERVICE
};

FontServices g_FontServices = kFontServices;

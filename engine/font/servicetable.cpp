#include "engine/font/services.h"

constexpr FontServices kFontServices = {
    .drawTextDefaultFontCore = DrawTextDefaultFontCore,
    .deleteFontHandle = DeleteFontHandle,
};

FontServices g_FontServices = kFontServices;

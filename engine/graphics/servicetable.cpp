#include "engine/graphics/services.h"

constexpr GraphicsServices kGraphicsServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/graphics/servicelist.h"
#undef KR_SERVICE
};

GraphicsServices g_GraphicsServices = kGraphicsServices;

# Libraries the platform layer and the engine call. Later subsystems add theirs here.
set(KR_PLATFORM_LIBS)
set(KR_ENGINE_LIBS)

// The HA-API vendor module interface as this product defines it (nothing of it is public beyond the
// function names): the length-and-data pair, the host-window record, and the seven vendor
// functions, all __stdcall. No <windows.h>: the BIR string codec uses the pair.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define HAAPI_CALL __stdcall
#else
#define HAAPI_CALL
#endif

struct HAAPI_DATA {
    uint32_t Length;
    uint8_t *Data;
};

// What every vendor function that may show a user interface gets: the window to place it over
// (or none), that window's top-left screen position (left, top), and the value 1.
struct HAAPI_HOST_WINDOW {
    void *ParentWindow;
    const int32_t *ParentPosition;
    uint32_t Flags;
};

constexpr uint32_t HAAPI_ERROR_BASE = 0x2F000000u;
constexpr uint32_t HAAPI_USERCANCEL = 0x2F000011u;
constexpr uint32_t HAAPI_INVALIDPARAMETERS = 0x2F000002u;
constexpr uint32_t HAAPI_GENERALERROR = 0x2F000012u;

typedef uint32_t(HAAPI_CALL *HaCaptureFn)(const HAAPI_HOST_WINDOW *host, HAAPI_DATA *captured);
typedef uint32_t(HAAPI_CALL *HaEnrollmentFn)(const HAAPI_HOST_WINDOW *host, HAAPI_DATA *first,
                                             HAAPI_DATA *templ, uint32_t reserved);
typedef uint32_t(HAAPI_CALL *HaFreeFn)(HAAPI_DATA *data);
typedef uint32_t(HAAPI_CALL *HaInformationFn)(HAAPI_DATA *information);
typedef uint32_t(HAAPI_CALL *HaLiveVerifyFn)(const HAAPI_HOST_WINDOW *host, const HAAPI_DATA *templ,
                                             uint32_t *result);
typedef uint32_t(HAAPI_CALL *HaProcessFn)(const HAAPI_DATA *captured, HAAPI_DATA *processed);
typedef uint32_t(HAAPI_CALL *HaVerifyFn)(const HAAPI_DATA *sample, const HAAPI_DATA *templ,
                                         uint32_t *result);

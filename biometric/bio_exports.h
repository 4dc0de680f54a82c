// Braxial's reader exports as its own dialogs call them (the same entry points a client loads).
#pragma once

#include <windows.h>

#include <cstdint>

#include "bio_backend.h"

extern "C" {
const char *__stdcall BioEnumReaders(uint32_t index);
ReaderHandle *__stdcall BioInitReader(const char *name);
BOOL __stdcall BioCloseReader(ReaderHandle *handle);
BOOL __stdcall BioGetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
BOOL __stdcall BioCaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
BOOL __stdcall BioCompareBIRS(const uint8_t *captured, uint32_t capturedLength, const uint8_t *stored,
                              uint32_t storedLength);
}

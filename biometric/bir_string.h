// The BIR string: the self-describing byte form in which a biometric record leaves Braxial, is
// kept on the Key and comes back ("1 BioAPI" or "1 HA_API", the device name, the record). Plain
// functions without <windows.h>; what they have to say goes to a log sink that Braxial sets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bioapi_types.h"
#include "haapi_types.h"

// Longest device name a string may carry (the caller's name buffers hold 260 bytes).
constexpr uint32_t kBirDeviceNameMax = 259;

// Where the codec's messages go: level as in the log (1 failure, 5 detail), a context, the text.
typedef void (*BirLogSink)(int level, const char *context, const char *text);
void SetBirLogSink(BirLogSink sink);

// True when `tag` occurs in `string` read as a C string from its first byte, but never past
// `length` bytes (the string has no terminator of its own).
bool BirStringHasTag(const void *string, size_t length, const char *tag);

// Writes the BioAPI form. Null buffer: stores the total size, returns false. Buffer smaller than
// the total: returns false, touches nothing. Otherwise zero-fills the first total bytes, writes
// the string, stores the total size and returns true. Refuses (false, size untouched) a null data
// pointer, a header Length below 16, a name longer than kBirDeviceNameMax.
bool ConvertBIRtoSTRING(const BioAPI_BIR_HEADER &header, const uint8_t *biometricData,
                        const BioAPI_DATA *signature, uint8_t *buffer, uint32_t *size,
                        const char *deviceName);

// Reads the BioAPI form of `length` bytes. With a name output (260 bytes, zeroed by the caller)
// the name is copied; with a BIR output the record is built on the C heap (header, data,
// signature descriptor and bytes) and handed over as a full-BIR input (form 3); free it with
// FreeConvertedBIR. Every length is checked against `length` before anything is read.
bool ConvertSTRINGtoBIR(const uint8_t *string, uint32_t length, char *deviceName,
                        BioAPI_INPUT_BIR *bir);
void FreeConvertedBIR(BioAPI_INPUT_BIR *bir);

// Writes the HA-API form. When the buffer is null or smaller than 16 + D + N, stores that size
// (only when D is not 0) and returns false; otherwise zero-fills the whole buffer (`*size`
// bytes), writes the string and returns true.
bool ConvertHABIRtoSTRING(uint32_t recordLength, const uint8_t *record, uint8_t *buffer,
                          uint32_t *size, const char *deviceName, uint32_t nameLength);

// Reads the HA-API form. With a record output the vendor record is copied to the C heap (free
// its Data with free()); with a name output (260 bytes) the name is copied, terminated, and its
// length stored in `nameLength` (may be null).
bool ConvertSTRINGtoHABIR(const uint8_t *string, uint32_t length, HAAPI_DATA *record,
                          char *deviceName, uint32_t *nameLength);

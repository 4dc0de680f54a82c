// BioAPI 1.1 types with the public layouts (the framework's and the BSP modules' records), as the
// product and the bioapi100.dll stand-in both see them. No <windows.h>: the BIR string codec uses it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define BioAPI __stdcall
#else
#define BioAPI
#endif

typedef uint32_t BioAPI_RETURN;
typedef uint32_t BioAPI_BOOL;
typedef uint32_t BioAPI_HANDLE;
typedef uint32_t BioAPI_DEVICE_ID;
typedef int32_t BioAPI_BIR_HANDLE;
typedef uint8_t BioAPI_UUID[16];
typedef int32_t BioAPI_FAR;
typedef int32_t BioAPI_FRR;
typedef uint32_t BioAPI_MODULE_EVENT_MASK;
typedef uint32_t BioAPI_OPERATIONAL_STATUS;

constexpr BioAPI_RETURN BioAPI_OK = 0;

struct BioAPI_VERSION {
    uint32_t Major;
    uint32_t Minor;
};

struct BioAPI_BIR_BIOMETRIC_DATA_FORMAT {
    uint16_t FormatOwner;
    uint16_t FormatID;
};

struct BioAPI_BIR_HEADER {
    uint32_t Length;  // header and biometric data together
    uint8_t HeaderVersion;
    uint8_t Type;
    BioAPI_BIR_BIOMETRIC_DATA_FORMAT Format;
    int8_t Quality;
    uint8_t Purpose;
    uint32_t FactorsMask;
};

struct BioAPI_DATA {
    uint32_t Length;
    uint8_t *Data;
};

struct BioAPI_BIR {
    BioAPI_BIR_HEADER Header;
    uint8_t *BiometricData;
    BioAPI_DATA *Signature;
};

struct BioAPI_DBBIR_ID {
    uint32_t DbHandle;
    BioAPI_UUID KeyValue;
};

struct BioAPI_INPUT_BIR {
    uint8_t Form;  // 1 database id, 2 handle, 3 full BIR
    union {
        BioAPI_DBBIR_ID *BIRinDb;
        BioAPI_BIR_HANDLE *BIRinBSP;
        BioAPI_BIR *BIR;
    } InputBIR;
};

enum : uint8_t {
    BioAPI_DATABASE_ID_INPUT = 1,
    BioAPI_BIR_HANDLE_INPUT = 2,
    BioAPI_FULLBIR_INPUT = 3,
};

enum : uint8_t {
    BioAPI_BIR_DATA_TYPE_RAW = 0x01,
    BioAPI_BIR_DATA_TYPE_INTERMEDIATE = 0x02,
    BioAPI_BIR_DATA_TYPE_PROCESSED = 0x04,
};

enum : uint8_t {
    BioAPI_PURPOSE_VERIFY = 1,
    BioAPI_PURPOSE_IDENTIFY = 2,
    BioAPI_PURPOSE_ENROLL = 3,
    BioAPI_PURPOSE_ENROLL_FOR_VERIFICATION_ONLY = 4,
    BioAPI_PURPOSE_ENROLL_FOR_IDENTIFICATION_ONLY = 5,
    BioAPI_PURPOSE_AUDIT = 6,
};

enum : uint32_t {
    BioAPI_CAPTURE = 0x01,
    BioAPI_CREATETEMPLATE = 0x02,
    BioAPI_PROCESS = 0x04,
    BioAPI_VERIFYMATCH = 0x08,
    BioAPI_IDENTIFYMATCH = 0x10,
    BioAPI_ENROLL = 0x20,
    BioAPI_VERIFY = 0x40,
    BioAPI_IDENTIFY = 0x80,
};

// Framework and BSP error codes the product and the stand-in name.
enum : uint32_t {
    BioAPIERR_INVALID_MODULE_HANDLE = 0x101,
    BioAPIERR_NOT_INITIALIZED = 0x102,
    BioAPIERR_MODULE_LOAD_FAILED = 278,
    BioAPIERR_MODULE_NOT_LOADED = 286,
    BioAPIERR_INVALID_DEVICE_ID = 287,
    BioAPIERR_INVALID_UUID = 12,
    BioAPIERR_BSP_FUNCTION_NOT_IMPLEMENTED = 4103,
    BioAPIERR_BSP_UNABLE_TO_CAPTURE = 4353,
    BioAPIERR_BSP_INVALID_BIR = 4356,
    BioAPIERR_BSP_UNSUPPORTED_OPERATION = 4364,
    BioAPIERR_BSP_INCONSISTENT_PURPOSE = 4365,
    BioAPIERR_BSP_BIR_NOT_FULLY_PROCESSED = 4366,
    BioAPIERR_BSP_PURPOSE_NOT_SUPPORTED = 4367,
};

typedef void *(BioAPI *BioAPI_MALLOC)(uint32_t size, void *allocRef);
typedef void(BioAPI *BioAPI_FREE)(void *block, void *allocRef);
typedef void *(BioAPI *BioAPI_REALLOC)(void *block, uint32_t size, void *allocRef);
typedef void *(BioAPI *BioAPI_CALLOC)(uint32_t count, uint32_t size, void *allocRef);

struct BioAPI_MEMORY_FUNCS {
    BioAPI_MALLOC Malloc_func;
    BioAPI_FREE Free_func;
    BioAPI_REALLOC Realloc_func;
    BioAPI_CALLOC Calloc_func;
    void *AllocRef;
};

typedef BioAPI_RETURN(BioAPI *BioAPI_ModuleEventHandler)(const BioAPI_UUID *id, void *context,
                                                          BioAPI_DEVICE_ID device, uint32_t reserved,
                                                          uint32_t eventType);

struct BioAPI_BSP_SCHEMA {
    BioAPI_UUID ModuleId;
    BioAPI_DEVICE_ID DeviceId;
    char BSPName[68];
    BioAPI_VERSION SpecVersion;
    BioAPI_VERSION ProductVersion;
    char Vendor[68];
    BioAPI_BIR_BIOMETRIC_DATA_FORMAT BspSupportedFormats[16];
    uint32_t NumSupportedFormats;
    uint32_t FactorsMask;
    uint32_t Operations;
    uint32_t Options;
    uint32_t PayloadPolicy;
    uint32_t MaxPayloadSize;
    int32_t DefaultVerifyTimeout;
    int32_t DefaultIdentifyTimeout;
    int32_t DefaultCaptureTimeout;
    int32_t DefaultEnrollTimeout;
    uint32_t MaxBspDbSize;
    uint32_t MaxIdentify;
    char Description[68];
    char Path[260];
};

static_assert(sizeof(BioAPI_BIR_HEADER) == 16, "BIR header is 16 bytes");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(BioAPI_BSP_SCHEMA) == 612, "schema record is 612 bytes");
static_assert(offsetof(BioAPI_BSP_SCHEMA, DeviceId) == 16, "DeviceId at 16");
static_assert(offsetof(BioAPI_BSP_SCHEMA, Operations) == 244, "Operations at 244");
static_assert(offsetof(BioAPI_BSP_SCHEMA, Description) == 284, "Description at 284");
static_assert(offsetof(BioAPI_BSP_SCHEMA, Path) == 352, "Path at 352");
static_assert(sizeof(BioAPI_MEMORY_FUNCS) == 20, "memory functions are 20 bytes");
static_assert(offsetof(BioAPI_INPUT_BIR, InputBIR) == 4, "input BIR union at 4");
#endif

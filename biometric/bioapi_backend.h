// The BioAPI 1.x back end: BSP modules reached through the framework library bioapi100.dll.
#pragma once

#include "bio_backend.h"
#include "bioapi_types.h"

// The framework's entry points, resolved by name in this order; all must be present.
struct BioApiFunctions {
    BioAPI_RETURN(BioAPI *Init)(const BioAPI_VERSION *, uint32_t, const void *, uint32_t, const void *);
    BioAPI_RETURN(BioAPI *Terminate)();
    BioAPI_RETURN(BioAPI *EnumModules)(BioAPI_BSP_SCHEMA *, uint32_t, uint32_t *, uint32_t *);
    BioAPI_RETURN(BioAPI *ModuleLoad)(const BioAPI_UUID *, uint32_t, BioAPI_ModuleEventHandler, void *);
    BioAPI_RETURN(BioAPI *ModuleUnload)(const BioAPI_UUID *, BioAPI_ModuleEventHandler, void *);
    BioAPI_RETURN(BioAPI *ModuleAttach)(const BioAPI_UUID *, const BioAPI_VERSION *, const BioAPI_MEMORY_FUNCS *,
                                        uint32_t, uint32_t, uint32_t, uint32_t, void *, uint32_t, const void *,
                                        BioAPI_HANDLE *);
    BioAPI_RETURN(BioAPI *ModuleDetach)(BioAPI_HANDLE);
    FARPROC QueryDevice;
    FARPROC FreeBIRHandle;
    BioAPI_RETURN(BioAPI *GetBIRFromHandle)(BioAPI_HANDLE, BioAPI_BIR_HANDLE, BioAPI_BIR **);
    BioAPI_RETURN(BioAPI *GetHeaderFromHandle)(BioAPI_HANDLE, BioAPI_BIR_HANDLE, BioAPI_BIR_HEADER *);
    BioAPI_RETURN(BioAPI *EnableEvents)(BioAPI_HANDLE, const BioAPI_MODULE_EVENT_MASK *);
    FARPROC SetGUICallbacks;
    FARPROC SetStreamCallback;
    FARPROC StreamInputOutput;
    BioAPI_RETURN(BioAPI *Capture)(BioAPI_HANDLE, uint8_t, BioAPI_BIR_HANDLE *, int32_t, BioAPI_BIR_HANDLE *);
    FARPROC CreateTemplate;
    BioAPI_RETURN(BioAPI *Process)(BioAPI_HANDLE, const BioAPI_INPUT_BIR *, BioAPI_BIR_HANDLE *);
    BioAPI_RETURN(BioAPI *VerifyMatch)(BioAPI_HANDLE, const BioAPI_FAR *, const BioAPI_FRR *, const BioAPI_BOOL *,
                                       const BioAPI_INPUT_BIR *, const BioAPI_INPUT_BIR *, BioAPI_BIR_HANDLE *,
                                       BioAPI_BOOL *, BioAPI_FAR *, BioAPI_FRR *, BioAPI_DATA **);
    FARPROC IdentifyMatch;
    BioAPI_RETURN(BioAPI *Enroll)(BioAPI_HANDLE, uint8_t, const BioAPI_INPUT_BIR *, BioAPI_BIR_HANDLE *,
                                  const BioAPI_DATA *, int32_t, BioAPI_BIR_HANDLE *);
    BioAPI_RETURN(BioAPI *Verify)(BioAPI_HANDLE, const BioAPI_FAR *, const BioAPI_FRR *, const BioAPI_BOOL *,
                                  const BioAPI_INPUT_BIR *, BioAPI_BIR_HANDLE *, BioAPI_BOOL *, BioAPI_FAR *,
                                  BioAPI_FRR *, BioAPI_DATA **, int32_t, BioAPI_BIR_HANDLE *);
    FARPROC Identify, Import, SetPowerMode, DbOpen, DbClose, DbCreate, DbDelete, DbSetCursor, DbFreeCursor,
        DbStoreBIR, DbGetBIR, DbGetNextBIR, DbQueryBIR, DbDeleteBIR;
};

class CBioApiBackEnd : public CBioBackEnd {
public:
    CBioApiBackEnd();

    bool LoadBioAPI();
    void clear_all_when_detach(bool callFramework);

    const char *EnumReaders(uint32_t *index) override;
    ReaderHandle *InitReader(uint32_t tableIndex) override;
    BOOL CloseReader(ReaderHandle *handle) override;
    BOOL GetBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) override;
    BOOL VerifyBIR(ReaderHandle *handle, const uint8_t *stored, uint32_t length) override;
    BOOL CaptureBIR(ReaderHandle *handle, uint8_t *buffer, uint32_t *size) override;
    BOOL CompareBIRS(ReaderHandle *handle, const uint8_t *captured, uint32_t capturedLength,
                     const uint8_t *stored, uint32_t storedLength) override;
    BOOL GetBIRDeviceName(const uint8_t *bir, uint32_t length, char *name, uint32_t *nameSize) override;

private:
    void Clear_All();
    void ResetState();
    const BioAPI_BSP_SCHEMA *SchemaOf(ReaderHandle *handle);
    bool RunCapture(ReaderHandle *handle, BioAPI_BIR_HANDLE *sample);
    BOOL WriteHeldBir(ReaderHandle *handle, uint8_t *buffer, uint32_t *size);
    void ReplaceHeldBir(BioAPI_BIR *bir, ReaderHandle *owner);
    bool HoldBirFromHandle(ReaderHandle *handle, BioAPI_BIR_HANDLE birHandle, uint32_t *size);
    BioAPI_RETURN CallVerifyMatch(BioAPI_HANDLE module, const BioAPI_INPUT_BIR *sample,
                                  const BioAPI_INPUT_BIR *templ);

    BioAPI_RETURN lastReturn_;
    BioAPI_VERSION version_;
    uint32_t elementsNeeded_;
    uint32_t elementsReturned_;
    BioAPI_BSP_SCHEMA *schemas_;
    uint32_t schemaCount_;
    BioAPI_UUID moduleId_;
    BioAPI_HANDLE moduleHandle_;
    BioAPI_MODULE_EVENT_MASK eventMask_;
    uint8_t purpose_;
    BioAPI_FAR maxFarRequested_;
    BioAPI_BOOL farPrecedence_;
    BioAPI_BOOL matchResult_;
    BioAPI_FAR farAchieved_;
    BioAPI_FRR frrAchieved_;
    BioAPI_BIR_HANDLE newTemplate_;
    BioAPI_INPUT_BIR storedTemplate_;
    BioAPI_BIR *heldBir_;
    ReaderHandle *heldOwner_;  // the reader whose enrolment or capture made the held BIR
    HMODULE library_;
    bool loaded_;
    BioApiFunctions api_;
};

// Logs a failed framework call with its text and sets the thread's last error from the table.
void ReportBioAPIError(BioAPI_RETURN code, const char *step);

extern CBioApiBackEnd g_bioApiBackEnd;

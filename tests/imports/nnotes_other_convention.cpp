// A DLL that imports the Notes API the other bitness's way (by ordinal in a 64-bit build, by name
// in a 32-bit one), built only for the test that the import check refuses such an image.
#include "notes_api.h"

extern "C" __declspec(dllexport) STATUS WINAPI CallsTheNotesApi(char *ini)
{
    STATUS status = NotesInitIni(ini);
    NotesTerm();
    return status;
}

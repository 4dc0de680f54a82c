// Braxial's ten exports, declared from the types its callers use (braxial_api.h): its own dialogs
// call the reader exports through these declarations, and a definition whose signature differs
// from braxial_api.h does not compile.
#pragma once

#include "bio_backend.h"
#include "braxial_api.h"

BRAXIAL_EXPORTS(BRAXIAL_DECLARE_EXPORT)

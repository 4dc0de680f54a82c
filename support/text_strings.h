// Numbered texts as strings, for the windows of Arbolin, Tolvik and TolvikM: one text, one filled
// from its printf format, and the product caption.
#pragma once

#include <windows.h>

#include <string>

// A numbered text, and one filled from a printf format (cut to 1024 characters).
std::string Text(UINT id);
std::string TextF(UINT id, ...);

// IDS_PRODUCT_CAPTION filled with the maker's name, "Morvath Sentrio": the caption of the
// product's dialogs and boxes.
std::string ProductCaption();

// The maker's contact block shown in the About box, and the picture resource that goes with it.
#pragma once

#define SENTRIO_MAKER_WEB_ADDRESS      "https://www.morvath.example"
#define SENTRIO_MAKER_SUPPORT_ADDRESS  "support@morvath.example"

// Product icon (every version resource carries it) and the About box picture.
#define SENTRIO_ABOUT_ICON    101
#define SENTRIO_ABOUT_BITMAP  5006

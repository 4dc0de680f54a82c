// Resource ids of the HA-API vendor stand-in.
#pragma once

#define IDD_SIMHA_DEVICE 100
#define IDC_SIMHA_PROMPT 101

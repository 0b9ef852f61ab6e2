// Resource identifiers of the updater.
#pragma once

#define IDI_MAIN 128
#define IDD_SHADOW 231
#define IDD_HISTORY 235

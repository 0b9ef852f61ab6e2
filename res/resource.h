// Resource identifiers of the updater.
#pragma once

#define IDI_MAIN 128
#define IDD_SHADOW 231
#define IDD_HISTORY 235

// Skin images, resource type "PNG".
#define IDP_BUTTON 221
#define IDP_CLOSE 227
#define IDP_PROGRESS_FILL 213
#define IDP_PROGRESS_TRACK 214
#define IDP_BAR_CLOSED 233
#define IDP_BAR_OPEN 234
#define IDP_SHADOW 232

// The history page template, resource type "RES".
#define IDR_HISTORY_PAGE 238

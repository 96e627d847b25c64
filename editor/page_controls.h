// Control IDs of the editor's tab pages (dialog templates 124, 134, 135, 148).
// Plain #defines: the resource compiler reads this file too.
#ifndef ZUV_EDITOR_PAGE_CONTROLS_H
#define ZUV_EDITOR_PAGE_CONTROLS_H

// Labels, group boxes and the picture: controls nothing refers to.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Device page.
#define IDC_MODULE_PICTURE 1140
#define IDC_BOARD_ID_LIST 1125
#define IDC_DESCRIPTION 1141
#define IDC_DEVICE_NAME 1142

// AI page.
#define IDC_CHANNEL_LIST 1126
#define IDC_SET_ALL_DIFFERENTIAL 1127
#define IDC_SET_ALL_SINGLE_ENDED 1128

// AO page.
#define IDC_AO_CHANNEL0_RANGE 1150
#define IDC_AO_CHANNEL1_RANGE 1151

#endif  // ZUV_EDITOR_PAGE_CONTROLS_H

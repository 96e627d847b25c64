// Resource and control IDs of the editor window and its pages.
#ifndef ZUV_EDITOR_RESOURCE_H
#define ZUV_EDITOR_RESOURCE_H

// Dialog templates.
#define IDD_TEMPLATE_EDITOR 105
#define IDD_DEVICE_PAGE 124
#define IDD_AI_PAGE 134
#define IDD_AO_PAGE 135
#define IDD_NO_CONFIG_PAGE 148

// Bitmaps.
#define IDB_MODULE_PICTURE 147

// Controls of the editor (IDOK is Save, IDCANCEL is Close).
#define IDC_REMOVE 1071
#define IDC_TAB 1077
#define IDC_TEMPLATE_TREE 1123
#define IDC_ADD 1124
#define IDC_BUILD_LINE 1160     // the build the pages show
#define IDC_TEMPLATE_NOTE 1161  // why the selected template's pages are read-only

#endif  // ZUV_EDITOR_RESOURCE_H

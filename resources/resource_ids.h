// Identifiers of the resources and controls that the program's code uses.
// Shared by the resource scripts and the code, so plain macros.
#ifndef ULVERANE_RESOURCES_RESOURCE_IDS_H_
#define ULVERANE_RESOURCES_RESOURCE_IDS_H_

#define IDI_SETUP 107
#define IDD_EXTRACT 154
#define IDD_EXTRACT_RESULT 155
#define IDD_EULA 156
#define IDR_EULA_TEXT 157
#define IDD_PROGRESS 158

// Options dialog.
#define IDC_DESKTOP_SHORTCUT 1007
#define IDC_NO_UPDATE_CHECK 1008
#define IDC_SAVE 1011
#define IDC_INSTALL_FOLDER 1012
#define IDC_NO_EULA 1013
#define IDC_NO_UPDATE_CHECK_NOTE 1017
#define IDC_NO_EULA_NOTE 1018
#define IDC_EXTRACT_SEPARATOR 1019
#define IDC_EXTRACT_GROUP 1020
#define IDC_INSTALL_FOLDER_LABEL 1021
#define IDC_INTRO 1022

// Completion dialog.
#define IDC_OPEN_EXPLORER 1014
#define IDC_RESULT_TEXT 1023

// Agreement dialog.
#define IDC_EULA_TEXT 1015
#define IDC_EULA_INTRO 1024

// Progress window. Above the common dialogs' 0x400 to 0x4FF: tests tell the
// window by its bar, which no control of Save As may pass for.
#define IDC_PROGRESS_TEXT 1300
#define IDC_PROGRESS_BAR 1301

#endif  // ULVERANE_RESOURCES_RESOURCE_IDS_H_

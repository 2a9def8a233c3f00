// Resource ids of setup's dialogs, icon and controls.
#pragma once

// Dialog templates, the program icon and the ids of their controls.
#define IDR_MAINFRAME 128

#define IDD_MAIN 101
#define IDD_LICENCE 131
#define IDD_DESTINATION 132
#define IDD_INSTALL 133
#define IDD_FINISH 134
#define IDD_TOOLBAR 135
#define IDD_LANGUAGE 137
#define IDD_COMPONENTS 138
#define IDD_LOCKCHECK 139

// Common to every page.
#define IDC_BACK 3
#define IDC_BANNER 1013
#define IDC_BODY 1015

// Main window.
#define IDC_PROGRESS 102
#define IDC_STATUS 103
#define IDC_MAIN_CANCEL 104
#define IDC_MAIN_WAIT 1016

// Licence.
#define IDC_LICENCE_TEXT 1000
#define IDC_LICENCE_ACCEPT 1001
#define IDC_LICENCE_CAPTION 1006

// Destination.
#define IDC_DEST_GROUP 1002
#define IDC_DEST_FOLDER 1003
#define IDC_DEST_FREE 1004
#define IDC_DEST_REQUIRED 1005
#define IDC_DEST_SUMMARY 1012
#define IDC_DEST_BROWSE 1014

// Install, toolbar, finish.
#define IDC_INSTALL_TEXT 1011
#define IDC_TOOLBAR_CHECK 1018
#define IDC_TOOLBAR_TEXT 1019
#define IDC_FINISH_TEXT 1007
#define IDC_FINISH_GROUP 1008
#define IDC_FINISH_RESTART 1009
#define IDC_FINISH_NORESTART 1010
#define IDC_FINISH_RESTART_TEXT 1017

// Language.
#define IDC_LANG_LABEL 1022
#define IDC_LANG_0 1023
#define IDC_LANG_1 1024
#define IDC_LANG_2 1025
#define IDC_LANG_3 1026
#define IDC_LANG_4 1027
#define IDC_LANG_LIST 1028

// Components.
#define IDC_COMPONENTS_LABEL 1029
#define IDC_COMPONENTS_TREE 1032

// Applications to close.
#define IDC_LOCK_LIST 1033
#define IDC_LOCK_TEXT 1035
#define IDC_LOCK_RETRY 105
#define IDC_LOCK_IGNORE 106

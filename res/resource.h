// Resource ids: strings, dialogs, controls, menus, bitmaps and the command ids of the main window.
#pragma once

// Strings
#define IDS_APPNAME          1
#define IDS_CLASSNAME        3
#define IDS_SENDLIST_STATUS  5000
#define IDS_CONFIRM_FOLDER   5001
#define IDS_CONFIRM_FOLDER_CAP 5002
#define IDS_CONFIRM_FILE     5003
#define IDS_CONFIRM_MULTI    5004
#define IDS_CONFIRM_MULTI_CAP 5005
#define IDS_DELETE_CAP       5006
#define IDS_DELETE_FAILED    5007
#define IDS_PORT_OPEN_FAILED 5008
#define IDS_RENAME_FAILED    5009
#define IDS_RENAME_CAP       5010
#define IDS_FILES_OF         5011
#define IDS_BYTES_OF         5012
#define IDS_TOTAL_BYTES_OF   5013
#define IDS_BYTES_PER_SEC    5014
#define IDS_MOVE_FAILED      5015
#define IDS_MOVE_CAP         5016
#define IDS_COPY_FAILED      5017
#define IDS_COPY_CAP         5018
#define IDS_ERROR            5022
#define IDS_SAME_DIR         5023
#define IDS_SENT_RESULT      5024
#define IDS_SEND_CAP         5025
#define IDS_RECEIVED_RESULT  5026
#define IDS_RECEIVE_CAP      5027
#define IDS_TOO_MANY_FILES   5028
#define IDS_RECEIVED_FROM    5029
#define IDS_XFER_FROM        5030
#define IDS_XFER_TO          5031
#define IDS_PEER_ON_PORT     5032
#define IDS_ASK_TEXT         5033
#define IDS_ASK_COUNTDOWN    5034
#define IDS_PATH_TOO_LONG    5050
#define IDS_NAME_TOO_LONG    5051
#define IDS_NOT_A_FILE       5052
#define IDS_TOO_LARGE        5053
#define IDS_SAME_NAME        5054
#define IDS_AND_MORE         5055
#define IDS_SENDLIST_CAP     5056
#define IDS_NO_SPACE         6001
#define IDS_NAME_CONFLICT    6002
#define IDS_CANT_CREATE      6003
#define IDS_CANT_READ_SOURCE 6004
// What the receiving user is told about a batch that could not be taken
#define IDS_DEST_FOLDER_GONE 6200
#define IDS_SOURCE_TOO_LARGE 6250
#define IDS_SENT_BEFORE_STOP 6251
#define IDS_DEST_NONE        6252
#define IDS_DEST_RELATIVE    6253
#define IDS_DEST_MISSING     6254
#define IDS_COMMTYPE_BASE    7000
// The tool buttons' tips, in the order of ToolButtonIds.
#define IDS_TOOLTIP_BASE     7100
// Why a file operation failed, each with the name it concerns; and the destination check
#define IDS_WHY_EXISTS       5100
#define IDS_WHY_DENIED       5101
#define IDS_WHY_IN_USE       5102
#define IDS_WHY_TOO_LONG     5103
#define IDS_WHY_NOT_FOUND    5104
#define IDS_WHY_NO_FOLDER    5105
#define IDS_WHY_BAD_NAME     5106
#define IDS_NEWFOLDER_FAILED 5107
#define IDS_NEWFOLDER_CAP    5108
#define IDS_NOT_A_FOLDER     5109
#define IDS_WHY_FOLDER_COPY  5110

// Dialogs
#define IDD_ABOUT_TALL       103
#define IDD_SETTINGS_TALL    105
#define IDD_XFERSTATUS_TALL  104
#define IDD_CONNECTING       110
#define IDD_ABOUT            111
#define IDD_XFERSTATUS       112
#define IDD_PROPERTIES_TALL  114
#define IDD_PROPERTIES       115
#define IDD_COPYTO           120
#define IDD_RUN              121
#define IDD_SELECTDIR        122
#define IDD_SETTINGS         123
#define IDD_ASK_RECEIVE      124

// Icon and bitmaps
#define IDI_TALMOX           101

// Controls of the status dialogs
#define IDC_XFER_FILENAME    1001
#define IDC_XFER_FILES       1002
#define IDC_XFER_FILEBAR     1003
#define IDC_XFER_TOTALBAR    1004
#define IDC_XFER_BYTES       1005
#define IDC_XFER_TOTAL       1006
#define IDC_XFER_RATE        1007
#define IDC_XFER_HEADING     1008
#define IDC_XFER_PEER        1009
// Controls of the question before a batch is received
#define IDC_ASK_TEXT         1030
#define IDC_ASK_NAMES        1031
#define IDC_ASK_COUNTDOWN    1032
#define IDC_CONNECT_HINT     1002

// Controls of the About box
#define IDC_ABOUT_VERSION    1002
#define IDC_ABOUT_BUILT      1003

// Controls of File Properties
#define IDC_PROP_NAME        1001
#define IDC_PROP_CREATED     1003
#define IDC_PROP_MODIFIED    1004
#define IDC_PROP_ACCESSED    1005
#define IDC_PROP_SIZE        1008
#define IDC_PROP_READONLY    1010
#define IDC_PROP_HIDDEN      1011
#define IDC_PROP_ARCHIVE     1012
#define IDC_PROP_SYSTEM      1013
#define IDC_PROP_ICON        1016

// Controls of Copy To (also Move To)
#define IDC_COPYTO_DEST      1001
#define IDC_COPYTO_BROWSE    1012

// Controls of Run
#define IDC_RUN_ARGS         1001
#define IDC_RUN_PROGRAM      1002

// Controls of Select Directory
#define IDC_SELDIR_LIST      4
#define IDC_SELDIR_PATHBTN   1012

// Controls of Settings
#define IDC_SET_DEST         1001
#define IDC_SET_DESTLABEL    1002
#define IDC_SET_PROMPT       1011
#define IDC_SET_BROWSE       1012
#define IDC_SET_RESULTS      1013
#define IDC_SET_OVERWRITE    1014
#define IDC_SET_TYPE         1020
#define IDC_SET_PEERIP       1021
#define IDC_SET_MYIP         1022
#define IDC_SET_ASK          1023
#define IDC_SET_READBACK     1024

// Controls of the main window
#define IDC_FILELIST         4
#define IDC_SENDLIST         5
#define IDC_STATUSTEXT       1001

// Commands
#define IDM_ABOUT            40003
#define IDM_SETTINGS         40008
#define IDM_EXIT             40009
#define IDM_SEND             40017
#define IDM_RECEIVE          40018
#define IDM_PATHMENU         40019
#define IDM_REMOVE           40021
#define IDM_DELETE           40025
#define IDM_ADDTOSENDLIST    40026
#define IDM_PROPERTIES       40027
#define IDM_RENAME           40028
#define IDM_OPEN             40029
#define IDM_MOVE             40031
#define IDM_HELP             40032
#define IDM_COPYTO           40033
#define IDM_NEWFOLDER        40034
#define IDM_SELECTALL        40035
#define IDM_DESELECTALL      40036
#define IDM_RUN              40037
#define IDM_SORTMENU         40038
// Posted by the worker: a batch was refused because the destination folder has gone.
#define IDM_DEST_FOLDER_GONE 40420
// Item k of a path menu (k from 1, the folder itself, to the drives level; a 256-byte path
// has fewer than 200 levels).
#define IDM_PATHLEVEL        40100
#define IDM_PATHLEVEL_LAST   40300
// The sort menu's choices, in the order of the sort orders (iSortOrder 0 to 3).
#define IDM_SORTBYNAME       40040
#define IDM_SORTBYDATE       40041
#define IDM_SORTBYSIZE       40042
#define IDM_SORTBYTYPE       40043

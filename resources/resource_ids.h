// Resource and control identifiers, shared by the resource script and the code.
#pragma once

#define IDS_SAVER_NAME 1
#define IDI_VELLUTOR 100

// Messages: %1, %2 are the file and the system's reason.
#define IDS_WALLPAPER_NOT_SAVED 200
#define IDS_SETTINGS_NOT_SAVED 201

// Controls of the settings dialog SETUP.
#define IDC_PREVIEW 1022
#define IDC_RESTORE_DEFAULTS 1008
#define IDC_REMEMBER_PICTURE 1023
#define IDC_VIDEO_MODE 1026
#define IDC_BLUR 1009
#define IDC_PSYCHEDELIA 1011
#define IDC_USAGE_PERIOD 1010
#define IDC_WAVE_SIZE 1020
#define IDC_WALLPAPER_GENERATOR 1024
#define IDC_FORMAT_BMP 1012
#define IDC_FORMAT_GIF 1013
#define IDC_FORMAT_JPEG 1014
#define IDC_FORMAT_EMF 1015
#define IDC_CUT_BMP 1016
#define IDC_CUT_GIF 1017
#define IDC_CUT_JPEG 1018
#define IDC_CUT_EMF 1019
#define IDC_SET_IMAGES_FOLDER 1003
#define IDC_EVERY_MONITOR 1035
#define IDC_HOME_PAGE 1007
#define IDC_SETTINGS_OK 6
#define IDC_SETTINGS_CANCEL 2
#define IDC_LINK_PLACEHOLDER 1034

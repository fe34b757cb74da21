/* Identifiers of the plug-in's dialog templates and their controls, shared by zavol.rc and the
   dialog procedures. Plain #defines so the resource compiler reads them too; nothing else here.
   The radio button ids are stored in the settings record: never renumber them. */
#ifndef ZAVOL_RESOURCES_IDS_H
#define ZAVOL_RESOURCES_IDS_H

#define IDD_ABOUT_BOX 101
#define IDD_SETUP_DIALOG 102

#define IDC_STATIC_TEXT (-1)

/* Viewing medium group: the chosen id is the stored ViewingMedium. */
#define IDC_MEDIUM_14_MONITOR 1000
#define IDC_MEDIUM_15_MONITOR 1001
#define IDC_MEDIUM_17_MONITOR 1002
#define IDC_MEDIUM_19_MONITOR 1003
#define IDC_MEDIUM_21_MONITOR 1004
#define IDC_MEDIUM_A5_PAPER 1005
#define IDC_MEDIUM_A4_PAPER 1006
#define IDC_MEDIUM_A3_PAPER 1007
#define IDC_MEDIUM_CUSTOM_DPI 1008

#define IDC_DPI_EDIT 1009
#define IDC_NEAR_OBJECT_EDIT 1010
#define IDC_DPI_SPIN 1011
#define IDC_NEAR_OBJECT_SPIN 1012
#define IDC_BACKGROUND_EDIT 1013
#define IDC_BACKGROUND_SPIN 1014
#define IDC_AUTO_DISTANCE 1015
#define IDC_NEAR_DISTANCE_EDIT 1016
#define IDC_NEAR_DISTANCE_SPIN 1017
#define IDC_FAR_OBJECT_EDIT 1018
#define IDC_FAR_OBJECT_SPIN 1019
#define IDC_FAR_DISTANCE_EDIT 1020
#define IDC_FAR_DISTANCE_SPIN 1021

/* Ramp group: the chosen id is the stored RampMode. */
#define IDC_RAMP_RGB 1023
#define IDC_RAMP_HSV 1024

#define IDC_COLOR1_SWATCH 1025
#define IDC_COLOR2_SWATCH 1026
#define IDC_PUT_GUIDE_POINTS 1027
#define IDC_RANDOMIZE_EACH_FRAME 1028
#define IDC_PREVENT_GHOSTING 1029

#endif

// SPDX-License-Identifier: GPL-2.0-or-later
// Copyright the Telvo authors

// Resource and control ids of the "Setting" dialog. Plain #defines so that windres can
// read this header as well as the C++ sources.
#pragma once

#define IDD_SETTING 1000

#define IDC_GAMMA 1001
#define IDC_GAMMA_LABEL 1002
#define IDC_GROUP_OVERLAYS 1003
#define IDC_GROUP_STRENGTH 1004
#define IDC_GROUP_THREADS 1005
#define IDC_DISABLE 1006
#define IDC_GROUP_AREA 1007
#define IDC_BORDER 1008
#define IDC_SHOW_HISTOGRAM 1009
#define IDC_RESERVE 1010
#define IDC_SHOW_PREVIEW 1015
#define IDC_OK 1016
#define IDC_CANCEL 1017
#define IDC_FREEZE 1018
#define IDC_TOP 1019
#define IDC_LEFT 1020
#define IDC_RIGHT 1021
#define IDC_BOTTOM 1022
#define IDC_THREAD_COUNT 1023
#define IDC_ALIGNMENT 1024

// Static frames and labels the code never addresses. Ids 1 and 2 are also the dialog
// manager's default and cancel commands: the group box "Border" reuses 1, and neither
// command ends this dialog.
#define IDC_GROUP_MARGINS 1
#define IDC_THREADS_LABEL 3
#define IDC_ALIGNMENT_LABEL 4
#define IDC_TOP_LABEL 6
#define IDC_LEFT_LABEL 7
#define IDC_RIGHT_LABEL 8
#define IDC_BOTTOM_LABEL 9

// Dialog template and control ids of both programs.
#pragma once

#define IDD_SELECT_DIR 103
#define IDD_PROGRESS 104
#define IDD_SELECT_IDES 105

#define IDC_DIRECTORY_EDIT 1000
#define IDC_BROWSE 3
#define IDC_PROGRESS_BAR 1000
#define IDC_STATUS_TEXT 1001
// One check box per IDE edition: IDC_IDE_FIRST to IDC_IDE_FIRST + 9.
#define IDC_IDE_FIRST 1100

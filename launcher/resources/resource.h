// Resource ids of the launcher (shared by the code and the resource script).
#pragma once

#define IDD_LAUNCHER            102
#define IDR_MAINFRAME           128
#define IDD_JAVA_ERROR          139
#define IDB_JAVA_WARNING        142
#define IDC_JAVA_WARNING        1004
#define IDC_JAVA_ERROR_TEXT     1005

#define IDS_JAVA_ERROR          1
#define IDS_FILE_MISSING        2
#define IDS_PRODUCT_ID          4
#define IDS_JAVA_ERROR_CAPTION  5
#define IDS_JAVA_ERROR_OK       6

// Data resources (RT_RCDATA) that a build may carry.
#define IDR_EMBEDDED_ARCHIVE    1000
#define IDR_PRIVATE_RUNTIME     2000
#define IDR_RUNTIME_INSTALLER   3000

// The product's identifier: names its uninstall key. The same in every
// language block.
#define WENDREL_PRODUCT_ID      "5C1E2A9047B34F0D8E6A3B21D97F4C58-R1"

// The helper programs (type "RT_EXE") for the uninstall-mode clean-up.
#define IDR_PURLOW_X86          1000
#define IDR_PELLOW              1001
#define IDR_PURLOW_X64          1002

// Resource ids of the setup program (shared by the code and the resource script).
#pragma once

#define IDD_SETUP_DIALOG                102
#define IDR_MAINFRAME                   128
#define IDC_STATUS_TEXT                 1001

#define IDS_CHECKINGINSTALLEDJAVAVMS    102
#define IDS_INSTALLINGJAVAVM            103
#define IDS_STARTINGINSTALLER           104
#define IDS_JAVAINSTALLERNOTFOUND       105
#define IDS_INSTALLATIONCANNOTSTART     106
#define IDS_SETUPCAPTION                107
#define IDS_NOTADMINISTRATOR            108

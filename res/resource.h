/* Identifiers of the dialog templates, the icon and every control. Shared by
 * the resource script and the program's logic. */
#ifndef TZDEBUG_RESOURCE_H
#define TZDEBUG_RESOURCE_H

#define IDD_MAIN 101
#define IDI_APP 102
#define IDD_IDENTITY 103
#define IDD_HELP 105

/* Message posted to the main dialog for each counted interrupt (WM_USER + 1). */
#define WM_TZ_INTERRUPT_COUNT 1025

/* Main dialog: information panel */
#define IDC_DEVICE_COMBO 1074
#define IDC_STATUS 1035
#define IDC_INT_LINE 1022
#define IDC_IO_BASE 1023
#define IDC_MEM_BASE_LABEL 1167
#define IDC_MEM_BASE 1024
#define IDC_DRIVER_VERSION 1010
/* pulse width */
#define IDC_PULSE_NOW 1092
#define IDC_PULSE_COMBO 1090
#define IDC_PULSE_SET 1094
/* I/O panel */
#define IDC_IO_WIDTH 1107
#define IDC_IO_ADDR_TYPE 1109
#define IDC_IO_ADDR 1110
#define IDC_IO_LENGTH 1111
#define IDC_IO_DATA 1157
#define IDC_IO_CLEAR 1158
#define IDC_IO_READ 1112
#define IDC_IO_WRITE 1113
/* MEM panel */
#define IDC_MEM_32BIT 1156
#define IDC_MEM_WIDTH 1148
#define IDC_MEM_ADDR 1149
#define IDC_MEM_LENGTH 1150
#define IDC_MEM_DATA 1159
#define IDC_MEM_CLEAR 1160
#define IDC_MEM_READ 1114
#define IDC_MEM_WRITE 1115
/* I2C panel */
#define IDC_I2C_FRAME 1169
#define IDC_I2C_ADDR 1119
#define IDC_I2C_DATA 1122
#define IDC_I2C_READ 1120
#define IDC_I2C_WRITE 1121
#define IDC_IDENTITY 1042
/* SPI panel */
#define IDC_SPI_MODE 1127
#define IDC_SPI_CLOCK 1128
#define IDC_SPI_SET 1129
#define IDC_FLASH_STATUS 1168
#define IDC_FLASH_READ 1064
#define IDC_FLASH_WRITE 1061
#define IDC_FLASH_ERASE 1062
/* configuration-space panel */
#define IDC_CFG_ADDR 1131
#define IDC_CFG_DATA 1132
#define IDC_CFG_READ 1133
#define IDC_CFG_WRITE 1134
/* interrupt panel */
#define IDC_LEVEL_COUNT 1072
#define IDC_LEVEL_TEST 1144
#define IDC_EDGE_COUNT 1145
#define IDC_EDGE_TEST 1146
/* command row */
#define IDC_OPEN 1140
/* <windows.h> names a system cursor IDC_HELP; here it is the help button. */
#ifdef IDC_HELP
#undef IDC_HELP
#endif
#define IDC_CLOSE 1139
#define IDC_HELP 1141
#define IDC_EXIT 1142

/* Identity EEPROM dialog */
#define IDC_EEPROM_WRITE 1053
#define IDC_VID 1048
#define IDC_DID 1049
#define IDC_RID 1050
#define IDC_SVID 1051
#define IDC_SID 1052
#define IDC_EEPROM_READ 1054

/* Help dialog */
#define IDC_HELP_TEXT 1075

#endif

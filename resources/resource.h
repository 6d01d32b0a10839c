// Control ids shared by the dialog templates and the code that drives them.
// Plain #defines and an include guard, so that the resource compiler reads
// this file as well as the compilers do.
#ifndef TAMSEL_RESOURCE_H
#define TAMSEL_RESOURCE_H

// Reading session dialog
#define IDC_PROGRESS_TEXT 401

// One-shot timer of the reading session's connection check
#define IDT_CONNECTION_TIMER 301

// Properties dialog: push buttons
#define IDC_BROWSE 501
#define IDC_TOGGLE_PANEL 502

// Properties dialog: edits
#define IDC_DIRECTORY 601
#define IDC_FILE_NAME 602
#define IDC_REPLACE_FROM 603
#define IDC_REPLACE_TO 604
#define IDC_DATE_SEPARATOR 614
#define IDC_TIME_SEPARATOR 624

// Properties dialog: drop-down lists
#define IDC_COM_PORT 701
#define IDC_BAUD_RATE 702
#define IDC_FILE_MODE 703
#define IDC_STAMP_POSITION 704
#define IDC_DELIMITER 705
#define IDC_YEAR_DIGITS 711
#define IDC_DATE_STYLE 715

// Properties dialog: general switches, committed on OK
#define IDC_ADD_RETURN 801
#define IDC_ADD_LINE_FEED 802
#define IDC_SHOW_ERRORS 803
#define IDC_VIEW_DATA 804
#define IDC_ALWAYS_SHOW_DIALOG 805
#define IDC_REPLACE_ENABLED 806
#define IDC_STAMP_ENABLED 807

// Properties dialog: stamp layout switches, committed on every click
#define IDC_SEPARATE_STAMPS 808
#define IDC_YEAR_ON 811
#define IDC_MONTH_ON 812
#define IDC_DAY_ON 813
#define IDC_DATE_SEPARATOR_ON 814
#define IDC_HOUR_ON 821
#define IDC_MINUTE_ON 822
#define IDC_SECOND_ON 823
#define IDC_TIME_SEPARATOR_ON 824

// Properties dialog: group boxes whose titles preview the stamps
#define IDC_DATE_PREVIEW 901
#define IDC_TIME_PREVIEW 902

#endif

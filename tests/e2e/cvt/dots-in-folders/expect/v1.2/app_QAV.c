/* QAV virtual machine byte code */

unsigned char app_QAV [] = {
81,0,200,0};

unsigned char *app_CQAV = app_QAV;

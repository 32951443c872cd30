/* QAV virtual machine byte code */

unsigned char x_QAV [] = {
81,0,200,0};

unsigned char *x_CQAV = x_QAV;

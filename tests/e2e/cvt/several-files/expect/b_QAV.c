/* QAV virtual machine byte code */

unsigned char b_QAV [] = {
81,0,200,0};

unsigned char *b_CQAV = b_QAV;

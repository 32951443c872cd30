/* QAV virtual machine byte code */

unsigned char a_QAV [] = {
7,0};

unsigned char *a_CQAV = a_QAV;

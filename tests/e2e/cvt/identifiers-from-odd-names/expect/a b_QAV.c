/* QAV virtual machine byte code */

unsigned char a_b_QAV [] = {
0};

unsigned char *a_b_CQAV = a_b_QAV;

/* QAV virtual machine byte code */

unsigned char demo_QAV [] = {
81,0,200,0};

unsigned char *demo_CQAV = demo_QAV;

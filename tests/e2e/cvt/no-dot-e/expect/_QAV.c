/* QAV virtual machine byte code */

unsigned char _QAV [] = {
81,0,200,0};

unsigned char *_CQAV = _QAV;

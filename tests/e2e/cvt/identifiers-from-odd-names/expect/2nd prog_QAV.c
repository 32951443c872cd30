/* QAV virtual machine byte code */

unsigned char _2nd_prog_QAV [] = {
1,0};

unsigned char *_2nd_prog_CQAV = _2nd_prog_QAV;

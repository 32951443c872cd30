/* QAV virtual machine byte code */

unsigned char dir/demo_QAV [] = {
81,0,200,0};

unsigned char *dir/demo_CQAV = dir/demo_QAV;

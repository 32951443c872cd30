/* QAV virtual machine byte code */

unsigned char my_prog_QAV [] = {
81,0,200,0};

unsigned char *my_prog_CQAV = my_prog_QAV;

/* QAV virtual machine byte code */

unsigned char QAV_QAV [] = {
81,0,200,0};

unsigned char *QAV_CQAV = QAV_QAV;

/* QAV virtual machine byte code */

const unsigned char blob_QAV [] = {
81,0,200,0};

const unsigned char *blob_CQAV = blob_QAV;
const unsigned long blob_LEN = 3;

/* Compiled as C: the public header stays valid C. */
#include "isorelink/plugin.h"

typedef const char* (*query_text)(const char*);
typedef int32_t (*query_int)(int32_t);
typedef void (*job)(const char*, const char*, const char*, const char*);

const query_text isorelink_c_check_text[] = {OnOpen1, Onfileid};
const query_int isorelink_c_check_int[] = {Onpadding, Onopencheck};
const job isorelink_c_check_job[] = {EXTRACTLBA, REBUILDLBA};

/* isorelink plugin module: the six entry points with the plain C boundary.
 *
 * On Linux they are isorelink.qpi's. On Windows they are isorelink-c.dll's, for
 * scripting callers; isorelink.qpi there speaks the host application's own
 * boundary (member-function calls, reference-counted string objects), which
 * the README's "Loading the module in the host application" describes.
 *
 * Strings cross the boundary as zero-terminated text; a null pointer counts as
 * an empty string. The jobs report their outcome only through the status file:
 *   Windows: C:\WINDOWS\Temp\errorcode.erc
 *   POSIX:   $TMPDIR/errorcode.erc, or /tmp/errorcode.erc when TMPDIR is unset
 * (2049 bytes: flag byte 0 = success / 1 = failure, then the 2048-byte message).
 */
#ifndef ISORELINK_PLUGIN_H
#define ISORELINK_PLUGIN_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(ISORELINK_BUILDING_PLUGIN)
#    define ISORELINK_API __declspec(dllexport)
#  else
#    define ISORELINK_API __declspec(dllimport)
#  endif
#  define ISORELINK_CALL __cdecl
#else
#  define ISORELINK_API __attribute__((visibility("default")))
#  define ISORELINK_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The open-dialog filter: "ISO File(*.ISO)", "*.ISO", "All files (*.*)", "*.*",
 * each followed by one byte 0x01; 42 characters. The argument is ignored. */
ISORELINK_API const char* ISORELINK_CALL OnOpen1(const char* ignored);

/* The plugin's title. The argument is ignored. */
ISORELINK_API const char* ISORELINK_CALL Onfileid(const char* ignored);

/* Always 1. */
ISORELINK_API int32_t ISORELINK_CALL Onpadding(int32_t ignored);
ISORELINK_API int32_t ISORELINK_CALL Onopencheck(int32_t ignored);

/* The extraction job: folder prefix (with its trailing separator), image name
 * within it; the last two arguments are ignored. */
ISORELINK_API void ISORELINK_CALL EXTRACTLBA(const char* folder, const char* image, const char* unused3,
                                             const char* unused4);

/* The rebuild job on "NEW-" + image in the same folder, with the relink list
 * image + "-relink-LSN.TXT" and the record file image + ".xqe". */
ISORELINK_API void ISORELINK_CALL REBUILDLBA(const char* folder, const char* image, const char* unused3,
                                             const char* unused4);

#ifdef __cplusplus
}
#endif

#endif /* ISORELINK_PLUGIN_H */

/*
 * Stand-in for the installation's XML API library (libzoralukv.so).
 *
 * QelXmlApi(request, &answer) sets answer to a NUL-terminated text owned by
 * the library and valid until the calling thread's next QelXmlApi or
 * QelXmlRelease; calls from any number of threads may run at once. It returns
 * 0 when the request was understood, otherwise the error code of the answer.
 * Answers are modified UTF-8 (U+0000 as C0 80, characters beyond U+FFFF as
 * surrogate pairs, stray bytes as U+FFFD), as the Java side reads them.
 *
 * The request dialect (blanks around the request are ignored):
 *
 *   <ping/>            ->  <pong/>
 *   <echo>TEXT</echo>  ->  <echo>TEXT</echo>   TEXT as given, any length
 *   <version/>         ->  <version>vaxolocal 1.0.0</version>
 *   <config name="N"/> ->  <config name="N">VALUE</config>, VALUE being what the
 *                          kernel's configuration gives N under mask 7, or
 *                          <config name="N" set="false"/> when N is not set
 *                          (names and values are escaped: &amp; &lt; &gt; &quot;)
 *
 * Anything else is answered <error code="N">MESSAGE</error>:
 *
 *   1  "empty request"      no request, or only blanks
 *   2  "malformed request"  not a single element: no "<", no closing ">",
 *                           or text after the element; a config request
 *                           not of the form above
 *   3  "unknown request"    a well-formed element this library does not know
 *   4  "out of memory"      the answer could not be made
 *
 * QelXmlRelease() frees the calling thread's answer storage; its last answer
 * is gone afterwards.
 */
#ifndef ZORALUKV_H
#define ZORALUKV_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZORALUKV_ERR_EMPTY 1
#define ZORALUKV_ERR_MALFORMED 2
#define ZORALUKV_ERR_UNKNOWN 3
#define ZORALUKV_ERR_MEMORY 4

__attribute__((visibility("default"))) int QelXmlApi(const char *request, char **answer);
__attribute__((visibility("default"))) void QelXmlRelease(void);

#ifdef __cplusplus
}
#endif

#endif

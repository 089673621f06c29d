/*
 * The vector paths of Base64, internal to the library.
 *
 * Each function converts whole blocks from the start of its input where the
 * processor has the instructions for them (chosen at run time) and leaves the
 * rest, from the returned count on, to the caller's plain rule; elsewhere it
 * consumes nothing. Results match the plain rule byte for byte.
 */
#ifndef BASE64_VECTOR_H
#define BASE64_VECTOR_H

#include <stdint.h>

/*
 * Encodes whole blocks from the start of data (count bytes) to out, which has
 * room for the encoding of all count bytes. Returns the number of bytes
 * consumed, a multiple of 3; their 4 characters for every 3 bytes now start
 * out. Reads nothing past count.
 */
uint32_t base64_encode_blocks(const unsigned char *data, uint32_t count, char *out);

/*
 * Decodes whole blocks of alphabet characters from the start of text to out,
 * which has room for count / 4 * 3 bytes; stops before the first block holding
 * any other character. The text ends at count or at a NUL before it; its first
 * *known characters (at most count) are known to lie before that NUL. Where
 * base64_decode_finds_nul says so, the function finds the NUL itself and
 * raises *known over the alphabet characters it met, up to the first other
 * one; elsewhere it reads only the first *known characters. Returns the number
 * of characters consumed, a multiple of 4 and at most *known; their 3 bytes
 * for every 4 characters now start out. May write beyond those bytes, never
 * beyond that room.
 */
uint32_t base64_decode_blocks(const char *text, uint32_t count, uint32_t *known,
                              unsigned char *out);

/*
 * Whether base64_decode_blocks, as the processor and the cap now choose it,
 * finds the NUL that may end a text, so that its caller need not search for it.
 * Either answer gives the same results; a wrong one costs only speed.
 */
bool base64_decode_finds_nul(void);

/*
 * Caps the vector width, in bits, that both functions may choose (0 for none);
 * tests lower it to reach every path on one machine.
 */
#define BASE64_VECTOR_WIDEST 512
void base64_vector_cap(int bits);

#endif

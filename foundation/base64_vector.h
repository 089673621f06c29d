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
 * Decodes whole blocks of alphabet characters from the start of text (count
 * characters) to out, which has room for count / 4 * 3 bytes; stops before the
 * first block holding any other character. Returns the number of characters
 * consumed, a multiple of 4; their 3 bytes for every 4 characters now start
 * out. May write beyond those bytes, never beyond that room; reads nothing
 * past count.
 */
uint32_t base64_decode_blocks(const char *text, uint32_t count, unsigned char *out);

/*
 * Caps the vector width, in bits, that both functions may choose (0 for none);
 * tests lower it to reach every path on one machine.
 */
#define BASE64_VECTOR_WIDEST 512
void base64_vector_cap(int bits);

#endif

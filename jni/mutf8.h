/*
 * Texts handed to the virtual machine, internal to the library.
 *
 * The virtual machine reads NUL-terminated texts as modified UTF-8: U+0000 as
 * C0 80 and every character beyond U+FFFF as a surrogate pair of two 3-byte
 * sequences. Standard UTF-8 from peers and files misreads there, so such texts
 * pass through mutf8text first.
 */
#ifndef MUTF8_H
#define MUTF8_H

/*
 * Returns text itself, and sets *copy to NULL, when it is modified UTF-8
 * already (no copy is made). Otherwise returns a converted copy, also stored
 * in *copy for the caller to free: each 4-byte sequence becomes its surrogate
 * pair and each maximal ill-formed subpart (a stray byte, an overlong or cut
 * sequence) one U+FFFD. NULL, with *copy NULL, when text is NULL or the copy
 * cannot be allocated.
 */
const char *mutf8text(const char *text, char **copy);

#endif

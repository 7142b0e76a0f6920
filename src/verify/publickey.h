#ifndef PUBLICKEY_H
#define PUBLICKEY_H

// The key that verifies product inis: a DER-encoded PKCS #1 RSAPublicKey,
// zero-padded to PUBLIC_KEY_SIZE bytes. Generated at build time from the
// file named by the CMake cache variable VOXMEADOW_PUBLIC_KEY.
constexpr unsigned long PUBLIC_KEY_SIZE = 2048;
extern const unsigned char PUBLIC_KEY[PUBLIC_KEY_SIZE];

#endif

#ifndef CRYPTWRAPPER_H
#define CRYPTWRAPPER_H

// Thin wrapper over libtomcrypt for RSASSA-PSS signatures over SHA-1 (salt
// length 8). libtommath is the math provider. The only place in the program
// that throws: every failure is a crypt_exception.

#ifndef LTM_DESC
#define LTM_DESC
#endif
#include <tomcrypt.h>

#include <exception>
#include <string>
#include <vector>

using Rsa_key = rsa_key;

class crypt_exception : public std::exception
{
public:
    explicit crypt_exception(const std::string& message);
    explicit crypt_exception(const char* message);

    const char* what() const noexcept override;

private:
    std::string messageText;
};

// Registry indices of SHA-1 and of the "sprng" generator, set by crypt_init().
extern int hash_idx;
extern int prng_idx;

// Digest length of hash_msg() and salt length of the signature scheme.
constexpr unsigned long SHA1_DIGEST_LENGTH = 20;
constexpr unsigned long PSS_SALT_LENGTH = 8;

void crypt_init();
void hash_msg(const unsigned char* message, unsigned long length, unsigned char* digest);
void check_err(const char* context, int code);
void load_key(Rsa_key* key, const unsigned char* der, unsigned long length);
bool verify_msg(Rsa_key* key, const unsigned char* message, unsigned long length,
    const unsigned char* signature, unsigned long signatureLength);
// As verify_msg, for a message whose SHA-1 digest was computed beforehand.
bool verify_hash(Rsa_key* key, const unsigned char* digest, unsigned long digestLength,
    const unsigned char* signature, unsigned long signatureLength);

// Signing side, used by the release tool and the tests.
// A new key of `bits` bits: a multiple of 8 within the sizes libtomcrypt offers.
void create_key(Rsa_key* key, int bits);
void sign_msg(Rsa_key* key, const unsigned char* message, unsigned long length, unsigned char* signature,
    unsigned long* signatureLength);
void save_key(Rsa_key* key, int type, const char* path);
void load_key(Rsa_key* key, const char* path);
void write_file(const char* path, const std::vector<unsigned char>& data);
std::vector<unsigned char> read_file(const char* path);

#endif

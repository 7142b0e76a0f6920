#include "verify/cryptwrapper.h"

#include <fstream>
#include <iterator>

int hash_idx = -1;
int prng_idx = -1;

namespace {

constexpr long RSA_PUBLIC_EXPONENT = 65537;
constexpr unsigned long MAX_KEY_EXPORT_LENGTH = 4096;

// "sprng" reads the system's generator and keeps no state of its own.
prng_state unusedPrngState;

// libtomcrypt aborts the process when a key operation runs without a math
// provider; a missing crypt_init() must be an error the caller can handle.
void requireInit()
{
    if (ltc_mp.name == nullptr || hash_idx < 0 || prng_idx < 0)
        throw crypt_exception("crypt_init has not been called");
}

} // namespace

crypt_exception::crypt_exception(const std::string& message)
    : messageText(message)
{ }

crypt_exception::crypt_exception(const char* message)
    : messageText(message)
{ }

const char* crypt_exception::what() const noexcept
{
    return messageText.c_str();
}

void crypt_init()
{
    if (register_prng(&sprng_desc) == -1)
        throw crypt_exception("Error registering sha1");
    ltc_mp = ltm_desc;
    if (register_hash(&sha1_desc) == -1)
        throw crypt_exception("Error registering sha1");
    hash_idx = find_hash("sha1");
    prng_idx = find_prng("sprng");
}

void hash_msg(const unsigned char* message, unsigned long length, unsigned char* digest)
{
    requireInit();
    unsigned long digestLength = SHA1_DIGEST_LENGTH;
    check_err("hash_memory", hash_memory(hash_idx, message, length, digest, &digestLength));
}

void check_err(const char* context, int code)
{
    if (code == CRYPT_OK)
        return;
    throw crypt_exception(std::string(context) + ": " + error_to_string(code));
}

void load_key(Rsa_key* key, const unsigned char* der, unsigned long length)
{
    requireInit();
    check_err("rsa_import", rsa_import(der, length, key));
}

bool verify_msg(Rsa_key* key, const unsigned char* message, unsigned long length,
    const unsigned char* signature, unsigned long signatureLength)
{
    unsigned char digest[SHA1_DIGEST_LENGTH];
    hash_msg(message, length, digest);
    return verify_hash(key, digest, sizeof digest, signature, signatureLength);
}

bool verify_hash(Rsa_key* key, const unsigned char* digest, unsigned long digestLength,
    const unsigned char* signature, unsigned long signatureLength)
{
    requireInit();
    if (digestLength != SHA1_DIGEST_LENGTH)
        throw crypt_exception("rsa_verify_hash: not a SHA-1 digest");
    int valid = 0;
    check_err("rsa_verify_hash",
        rsa_verify_hash_ex(signature, signatureLength, digest, digestLength, LTC_PKCS_1_PSS, hash_idx,
            PSS_SALT_LENGTH, &valid, key));
    return valid == 1;
}

void create_key(Rsa_key* key, int bits)
{
    requireInit();
    // libtomcrypt takes whole bytes; a size it does not offer is its error.
    if (bits <= 0 || bits % 8 != 0)
        throw crypt_exception("rsa_make_key: the key size is not a whole number of bytes");
    check_err("rsa_make_key", rsa_make_key(&unusedPrngState, prng_idx, bits / 8, RSA_PUBLIC_EXPONENT, key));
}

void sign_msg(Rsa_key* key, const unsigned char* message, unsigned long length, unsigned char* signature,
    unsigned long* signatureLength)
{
    requireInit();
    unsigned char digest[SHA1_DIGEST_LENGTH];
    hash_msg(message, length, digest);
    check_err("rsa_sign_hash",
        rsa_sign_hash_ex(digest, sizeof digest, signature, signatureLength, LTC_PKCS_1_PSS, &unusedPrngState,
            prng_idx, hash_idx, PSS_SALT_LENGTH, key));
}

void save_key(Rsa_key* key, int type, const char* path)
{
    std::vector<unsigned char> der(MAX_KEY_EXPORT_LENGTH);
    unsigned long length = der.size();
    check_err("rsa_export", rsa_export(der.data(), &length, type, key));
    der.resize(length);
    write_file(path, der);
}

void load_key(Rsa_key* key, const char* path)
{
    const std::vector<unsigned char> der = read_file(path);
    load_key(key, der.data(), der.size());
}

void write_file(const char* path, const std::vector<unsigned char>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw crypt_exception(std::string("Cannot open file for writing: ") + path);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw crypt_exception(std::string("Cannot write file: ") + path);
}

std::vector<unsigned char> read_file(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw crypt_exception(std::string("Cannot open file for reading: ") + path);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw crypt_exception(std::string("Cannot read file: ") + path);
    return data;
}

# Turns a DER public key into a C++ source that defines PUBLIC_KEY, padded
# with zero bytes to 2048. Run in script mode:
#   cmake -DKEY_FILE=<der> -DOUTPUT=<cpp> -P EmbedPublicKey.cmake
set(PADDED_SIZE 2048)

if(NOT EXISTS "${KEY_FILE}")
    message(FATAL_ERROR "Public key file '${KEY_FILE}' does not exist")
endif()
file(SIZE "${KEY_FILE}" key_size)
if(key_size EQUAL 0 OR key_size GREATER PADDED_SIZE)
    message(FATAL_ERROR "Public key file '${KEY_FILE}' has ${key_size} bytes; "
        "expected a DER RSAPublicKey of at most ${PADDED_SIZE} bytes")
endif()
file(READ "${KEY_FILE}" key_hex HEX)
string(SUBSTRING "${key_hex}" 0 2 first_byte)
if(NOT first_byte STREQUAL "30")
    message(FATAL_ERROR "Public key file '${KEY_FILE}' is not DER (it must start with a SEQUENCE); "
        "convert a PEM key with: openssl rsa -pubin -in key.pem -RSAPublicKey_out -outform DER")
endif()

math(EXPR padding "${PADDED_SIZE} - ${key_size}")
string(REPEAT "00" ${padding} padding_hex)
string(APPEND key_hex "${padding_hex}")
set(key_bytes "")
math(EXPR last_line "${PADDED_SIZE} / 16 - 1")
foreach(line RANGE ${last_line})
    math(EXPR offset "${line} * 32")
    string(SUBSTRING "${key_hex}" ${offset} 32 line_hex)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," line_bytes "${line_hex}")
    string(APPEND key_bytes "    ${line_bytes}\n")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated from ${KEY_FILE}; do not edit.
#include \"verify/publickey.h\"

const unsigned char PUBLIC_KEY[PUBLIC_KEY_SIZE] = {
${key_bytes}};
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")

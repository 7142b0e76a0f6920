# Turns a DER public key into a C++ source that defines PUBLIC_KEY, padded
# with zero bytes to 2048. Run in script mode:
#   cmake -DKEY_FILE=<der> -DOUTPUT=<cpp> -P EmbedPublicKey.cmake
include(${CMAKE_CURRENT_LIST_DIR}/PublicKeyCheck.cmake)
set(PADDED_SIZE ${VOXMEADOW_PUBLIC_KEY_MAX_SIZE})
voxmeadow_check_public_key("${KEY_FILE}")
file(SIZE "${KEY_FILE}" key_size)
file(READ "${KEY_FILE}" key_hex HEX)

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

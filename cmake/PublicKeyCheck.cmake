# voxmeadow_check_public_key(<file>): stops with a fatal error unless <file>
# is a DER RSA public key, either a PKCS #1 RSAPublicKey (SEQUENCE of two
# INTEGERs) or a SubjectPublicKeyInfo (SEQUENCE of a SEQUENCE and a BIT
# STRING). A private key (PKCS #1 RSAPrivateKey, PKCS #8, PEM) would ship the
# signing key inside every updater, so it gets a message of its own.
set(VOXMEADOW_PUBLIC_KEY_MAX_SIZE 2048)

# Reads the byte at `offset` of the hex text as a number.
function(_vx_der_byte hex offset out)
    math(EXPR pos "${offset} * 2")
    string(SUBSTRING "${hex}" ${pos} 2 byte)
    math(EXPR value "0x${byte}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# Reads the tag and length of the DER element at `offset`; sets <out>_TAG,
# <out>_START (first content byte) and <out>_END (one past the last), or
# <out>_TAG to -1 when the header does not fit into `size` bytes.
function(_vx_der_element hex size offset out)
    set(${out}_TAG -1 PARENT_SCOPE)
    math(EXPR need "${offset} + 2")
    if(need GREATER size)
        return()
    endif()
    _vx_der_byte("${hex}" ${offset} tag)
    math(EXPR pos "${offset} + 1")
    _vx_der_byte("${hex}" ${pos} first)
    math(EXPR pos "${pos} + 1")
    if(first LESS 128)
        set(length ${first})
    elseif(first EQUAL 129 OR first EQUAL 130)
        math(EXPR count "${first} - 128")
        math(EXPR need "${pos} + ${count}")
        if(need GREATER size)
            return()
        endif()
        set(length 0)
        foreach(i RANGE 1 ${count})
            _vx_der_byte("${hex}" ${pos} b)
            math(EXPR length "${length} * 256 + ${b}")
            math(EXPR pos "${pos} + 1")
        endforeach()
    else()
        return()
    endif()
    math(EXPR end "${pos} + ${length}")
    if(end GREATER size)
        return()
    endif()
    set(${out}_TAG ${tag} PARENT_SCOPE)
    set(${out}_START ${pos} PARENT_SCOPE)
    set(${out}_END ${end} PARENT_SCOPE)
endfunction()

function(voxmeadow_check_public_key file)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "Public key file '${file}' does not exist")
    endif()
    file(SIZE "${file}" size)
    if(size EQUAL 0 OR size GREATER VOXMEADOW_PUBLIC_KEY_MAX_SIZE)
        message(FATAL_ERROR "Public key file '${file}' has ${size} bytes; "
            "expected a DER RSAPublicKey of at most ${VOXMEADOW_PUBLIC_KEY_MAX_SIZE} bytes")
    endif()
    file(READ "${file}" text LIMIT 64)
    if(text MATCHES "PRIVATE KEY")
        message(FATAL_ERROR "Public key file '${file}' holds a PRIVATE key. Never build the signing "
            "key into the updater; give its public half: "
            "openssl rsa -in key.pem -RSAPublicKey_out -outform DER -out public.der")
    endif()
    file(READ "${file}" hex HEX)
    _vx_der_element("${hex}" ${size} 0 outer)
    if(NOT outer_TAG EQUAL 48)
        message(FATAL_ERROR "Public key file '${file}' is not DER (it must start with a SEQUENCE); "
            "convert a PEM key with: openssl rsa -pubin -in key.pem -RSAPublicKey_out -outform DER")
    endif()
    set(tags)
    set(offset ${outer_START})
    while(offset LESS outer_END)
        _vx_der_element("${hex}" ${outer_END} ${offset} inner)
        if(inner_TAG EQUAL -1)
            message(FATAL_ERROR "Public key file '${file}' is not a well-formed DER key")
        endif()
        list(APPEND tags ${inner_TAG})
        set(offset ${inner_END})
    endwhile()
    # INTEGER = 2, BIT STRING = 3, SEQUENCE = 48.
    if(tags STREQUAL "2;2" OR tags STREQUAL "48;3")
        return()
    endif()
    list(LENGTH tags count)
    if(count GREATER 2)
        list(GET tags 0 first_tag)
    else()
        set(first_tag 0)
    endif()
    if(first_tag EQUAL 2)
        message(FATAL_ERROR "Public key file '${file}' holds a PRIVATE key (it starts with a version "
            "number, as PKCS #1 RSAPrivateKey and PKCS #8 do). Never build the signing key into the "
            "updater; give its public half: "
            "openssl rsa -inform DER -in key.der -RSAPublicKey_out -outform DER -out public.der")
    endif()
    message(FATAL_ERROR "Public key file '${file}' is not an RSA public key "
        "(expected a DER RSAPublicKey or SubjectPublicKeyInfo)")
endfunction()

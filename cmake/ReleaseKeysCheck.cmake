# Refuses at configure time a release key list that the updater could not
# use: a malformed key, a threshold that no set of unrevoked keys reaches, a
# legacy floor that is no version number.
function(voxmeadow_check_release_keys)
    set(usable 0)
    foreach(key IN LISTS VOXMEADOW_RELEASE_KEYS VOXMEADOW_REVOKED_KEYS)
        if(NOT key MATCHES "^[0-9a-fA-F]+$")
            message(FATAL_ERROR "Release key '${key}' is not hexadecimal")
        endif()
        string(LENGTH "${key}" length)
        if(NOT length EQUAL 64)
            message(FATAL_ERROR "Release key '${key}' is not 32 bytes (64 hexadecimal digits)")
        endif()
    endforeach()
    string(TOLOWER "${VOXMEADOW_REVOKED_KEYS}" revoked)
    set(seen "")
    foreach(key IN LISTS VOXMEADOW_RELEASE_KEYS)
        string(TOLOWER "${key}" key)
        if(NOT key IN_LIST revoked AND NOT key IN_LIST seen)
            math(EXPR usable "${usable} + 1")
            list(APPEND seen "${key}")
        endif()
    endforeach()
    if(NOT VOXMEADOW_RELEASE_THRESHOLD MATCHES "^[0-9]+$" OR NOT VOXMEADOW_LEGACY_BELOW MATCHES "^[0-9]+$")
        message(FATAL_ERROR "VOXMEADOW_RELEASE_THRESHOLD and VOXMEADOW_LEGACY_BELOW are whole numbers")
    endif()
    if(VOXMEADOW_RELEASE_KEYS STREQUAL "")
        message(WARNING "No release keys (VOXMEADOW_RELEASE_KEYS): this updater trusts a release on its "
            "product ini's RSA signature and MD5 sums alone")
        return()
    endif()
    # A manifest carries at most 16 signatures.
    if(VOXMEADOW_RELEASE_THRESHOLD LESS 1 OR VOXMEADOW_RELEASE_THRESHOLD GREATER usable
            OR VOXMEADOW_RELEASE_THRESHOLD GREATER 16)
        message(FATAL_ERROR "VOXMEADOW_RELEASE_THRESHOLD ${VOXMEADOW_RELEASE_THRESHOLD} cannot be reached "
            "with ${usable} distinct unrevoked release keys (and a manifest's 16 signatures)")
    endif()
    foreach(number 1 2)
        file(STRINGS "${CMAKE_SOURCE_DIR}/keys/demo_ed25519_${number}.pub" demo LIMIT_COUNT 1)
        if(demo IN_LIST seen)
            message(WARNING "THIS UPDATER TRUSTS THE DEMO RELEASE KEY keys/demo_ed25519_${number}.pub. Its "
                "private half is public: anyone can sign a release manifest that this updater installs. "
                "Fine for tests and the demo; NEVER SHIP THIS BUILD. Release builds name their own keys: "
                "-DVOXMEADOW_RELEASE_KEYS=...")
        endif()
    endforeach()
endfunction()

# Compiles the publisher's public key into updatecore as a 2048-byte block. Without
# MV3_PUBLISHER_KEY a fresh 1024-bit test pair is made in the build tree (never in the sources);
# tests sign with its private half through MV3_TEST_PRIVATE_KEY_FILE.
set(MV3_KEY_DIR ${CMAKE_CURRENT_BINARY_DIR}/keys)
set(MV3_KEYBLOCK_SOURCE ${MV3_KEY_DIR}/verificationkey.cpp)

if(MV3_PUBLISHER_KEY)
  set(MV3_PUBLIC_KEY_FILE ${MV3_PUBLISHER_KEY})
  set(MV3_TEST_PRIVATE_KEY_FILE "" CACHE INTERNAL "Private half of the build's test key pair")
else()
  set(MV3_PUBLIC_KEY_FILE ${MV3_KEY_DIR}/publisher.pub)
  set(MV3_TEST_PRIVATE_KEY_FILE ${MV3_KEY_DIR}/publisher.key CACHE INTERNAL
      "Private half of the build's test key pair")
  # No dependency on the tool's binary: rebuilding the tool must not change the key.
  add_custom_command(OUTPUT ${MV3_KEY_DIR}/publisher.key ${MV3_KEY_DIR}/publisher.pub
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MV3_KEY_DIR}
    COMMAND mv3-keytool generate ${MV3_KEY_DIR}/publisher.key ${MV3_KEY_DIR}/publisher.pub
    COMMENT "Generating a fresh 1024-bit test key pair")
endif()

add_custom_command(OUTPUT ${MV3_KEYBLOCK_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MV3_KEY_DIR}
  COMMAND mv3-keytool keyblock ${MV3_PUBLIC_KEY_FILE} ${MV3_KEYBLOCK_SOURCE}
  DEPENDS ${MV3_PUBLIC_KEY_FILE}
  COMMENT "Generating the verification key block")
set_source_files_properties(${MV3_KEYBLOCK_SOURCE} PROPERTIES GENERATED TRUE SKIP_AUTOMOC ON)
target_sources(updatecore PRIVATE ${MV3_KEYBLOCK_SOURCE})

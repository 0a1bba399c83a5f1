# SQLCipher 4.5.5 (community edition) built from the amalgamation that
# scripts/fetch-sqlcipher unpacks, with OpenSSL as crypto provider, FTS5 and the
# JSON functions.
set(SQLCIPHER_DIR "${PROJECT_SOURCE_DIR}/third_party/sqlcipher")
if(NOT EXISTS "${SQLCIPHER_DIR}/sqlite3.c")
  message(FATAL_ERROR "SQLCipher amalgamation missing: run scripts/install-deps (or ./dev build)")
endif()

add_library(sqlcipher STATIC "${SQLCIPHER_DIR}/sqlite3.c")
target_include_directories(sqlcipher SYSTEM PUBLIC "${SQLCIPHER_DIR}")
target_compile_definitions(sqlcipher
  PUBLIC SQLITE_HAS_CODEC=1
  PRIVATE SQLCIPHER_CRYPTO_OPENSSL=1
          SQLITE_TEMP_STORE=2
          SQLITE_THREADSAFE=1
          SQLITE_ENABLE_FTS5=1
          SQLITE_ENABLE_JSON1=1
          SQLITE_ENABLE_COLUMN_METADATA=1
          SQLITE_DEFAULT_WAL_SYNCHRONOUS=1
          SQLITE_OMIT_DEPRECATED=1
          SQLITE_DQS=0)
target_compile_options(sqlcipher PRIVATE -w -O2)
target_link_libraries(sqlcipher PUBLIC OpenSSL::Crypto Threads::Threads ${CMAKE_DL_LIBS} m)

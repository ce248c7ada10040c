# WebAssembly with Debian's emscripten (3.1.6), run under Node. emcc's own
# JavaScript tools need Debian's Node modules (acorn) on NODE_PATH, so every
# compile and link goes through `env NODE_PATH=...`. Not x86: no x86 kernel,
# converter or CPUID code is built for it.
set(EMSCRIPTEN_SYSTEM_PROCESSOR wasm32)
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(ENV{NODE_PATH} /usr/share/nodejs)
set(CMAKE_C_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_C_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
# Output that Node 18 and later runs as it is (it would fetch() a separate
# .wasm file by its path), writing files through the host's file system.
set(CMAKE_EXECUTABLE_SUFFIX .js)
add_link_options(-sSINGLE_FILE=1 -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)
# Threads are WebAssembly threads (Web Workers, worker_threads under Node)
# over a shared memory: every object is compiled for them. main() runs on a
# worker of its own, so that it may block waiting for its workers, which the
# JavaScript main thread may not.
add_compile_options(-pthread)
add_link_options(-pthread -sPROXY_TO_PTHREAD=1 -sPTHREAD_POOL_SIZE=4)

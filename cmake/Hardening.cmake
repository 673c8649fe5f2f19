# The usual hardening of a distributed binary, added only where the builder
# brings none of its own: a package builder's flags, or a compiler that
# hardens by default, may ask for more (_FORTIFY_SOURCE=3), and a later
# flag of ours would lower it.
include(CheckCXXSourceCompiles)

# Whether the compiler, with the builder's flags for this build type, already
# defines `macro` (any of the names given).
function(velmora_builder_defines result)
    string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
    set(CMAKE_REQUIRED_FLAGS "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
    list(TRANSFORM ARGN PREPEND "defined(" OUTPUT_VARIABLE tests)
    list(TRANSFORM tests APPEND ")")
    list(JOIN tests " || " condition)
    check_cxx_source_compiles("#if !(${condition})\n#error none\n#endif\nint main() {}" ${result})
    set(${result} ${${result}} PARENT_SCOPE)
endfunction()

velmora_builder_defines(VELMORA_BUILDER_PROTECTS_STACK __SSP__ __SSP_STRONG__ __SSP_ALL__ __SSP_EXPLICIT__)
if(NOT VELMORA_BUILDER_PROTECTS_STACK)
    add_compile_options(-fstack-protector-strong)
endif()
# _FORTIFY_SOURCE takes effect only where the code is optimized.
velmora_builder_defines(VELMORA_BUILDER_FORTIFIES _FORTIFY_SOURCE)
if(NOT VELMORA_BUILDER_FORTIFIES)
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "relro")
    add_link_options(LINKER:-z,relro)
endif()
if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "-z,now|-z now|-znow")
    add_link_options(LINKER:-z,now)
endif()

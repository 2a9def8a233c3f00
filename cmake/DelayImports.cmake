# setup_delay_import(<target name> <dll file name> <mingw library name>): an
# INTERFACE target that links the DLL for loading on its first call instead of at
# start-up. The export list is taken from mingw's own import library; the loading
# itself goes through the system-folder hook of common/win32/SystemDll.cpp.
function(setup_delay_import target dll library)
    find_library(${target}_IMPORT_LIB NAMES ${library} lib${library}.a REQUIRED)
    set(def ${CMAKE_BINARY_DIR}/delayimp/${library}.def)
    set(lib ${CMAKE_BINARY_DIR}/delayimp/lib${library}_delay.a)
    if(NOT EXISTS ${lib} OR ${${target}_IMPORT_LIB} IS_NEWER_THAN ${lib})
        string(REPLACE "-dlltool" "-nm" nm ${CMAKE_DLLTOOL})
        execute_process(COMMAND ${nm} ${${target}_IMPORT_LIB} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
        # 32-bit C names carry a leading underscore, which the .def leaves out.
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(prefix "__imp_")
        else()
            set(prefix "__imp__")
        endif()
        string(REGEX MATCHALL "[ \t]I ${prefix}[^\r\n]+" imports "${symbols}")
        list(TRANSFORM imports REPLACE "^[ \t]I ${prefix}" "")
        list(REMOVE_DUPLICATES imports)
        list(JOIN imports "\n" exports)
        file(WRITE ${def} "LIBRARY \"${dll}\"\nEXPORTS\n${exports}\n")
        execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -y ${lib} COMMAND_ERROR_IS_FATAL ANY)
    endif()
    add_library(${target} INTERFACE)
    # The import library after it, for the few helpers it defines itself (GDI+'s
    # cached font families); every DLL export is already taken from the delay library.
    target_link_libraries(${target} INTERFACE ${lib} ${${target}_IMPORT_LIB})
endfunction()

# cmake -DEXE=Varnelt.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P check_exe.cmake
set(problems "")

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump -p ${EXE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
list(SORT imports)
if(NOT imports STREQUAL "DLL Name: KERNEL32.dll;DLL Name: SHLWAPI.dll;DLL Name: USER32.dll")
    string(REPLACE ";" ", " imports "${imports}")
    list(APPEND problems "imports are: ${imports}")
endif()
foreach(expected "file format pei-x86-64" "Magic[ \t]+020b[ \t]+\\(PE32\\+\\)"
                 "Subsystem[ \t]+00000003[ \t]+\\(Windows CUI\\)")
    if(NOT headers MATCHES "${expected}")
        list(APPEND problems "header lacks: ${expected}")
    endif()
endforeach()

# The size budget on disk, here and nowhere else: every section is padded to 512-byte blocks, and
# the manifest takes one of its own.
set(budget 10240)
file(SIZE ${EXE} size)
if(size GREATER budget)
    list(APPEND problems "${size} bytes, more than ${budget}")
endif()

# The version record, searched in the file's bytes as hexadecimal text. Its strings are UTF-16.
function(utf16_hex text result)
    string(HEX "${text}" hex)
    string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
    set(${result} "${hex}" PARENT_SCOPE)
endfunction()
file(READ ${EXE} bytes HEX)
# VS_FIXEDFILEINFO: signature, structure version, file version 1.0.0.0, product version 1.0.0.0.
string(CONCAT fixed "bd04effe" "00000100" "00000100" "00000000" "00000100" "00000000")
if(NOT bytes MATCHES "${fixed}")
    list(APPEND problems "fixed file version is not 1.0.0.0")
endif()
foreach(pair "FileVersion=1.0.0.0" "ProductVersion=1.0.0.0" "InternalName=Varnelt"
             "ProductName=Varnelt" "FileDescription=Varnelt (x64) - sets the size of a file")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 key)
    list(GET pair 1 value)
    utf16_hex("${key}" keyHex)
    utf16_hex("${value}" valueHex)
    # The key, its terminating zero, padding to four bytes, the value and its terminating zero.
    if(NOT bytes MATCHES "${keyHex}0000(0000)?${valueHex}0000")
        list(APPEND problems "version string ${key} is not \"${value}\"")
    endif()
endforeach()

# The manifest: UTF-8 as the process's code page, and long paths.
foreach(setting "activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8<"
                "longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<")
    string(HEX "${setting}" settingHex)
    if(NOT bytes MATCHES "${settingHex}")
        list(APPEND problems "the manifest lacks: ${setting}")
    endif()
endforeach()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "${EXE}:\n  ${text}")
endif()
message(STATUS "${EXE}: ${size} bytes, imports and version record as expected")

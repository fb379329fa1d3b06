# Turns a text file into a C++ source defining one null-terminated array:
#   cmake -DINPUT=template.html -DOUTPUT=out.cpp -DNAME=VIEWER_TEMPLATE -P embed.cmake
# Bytes are written as numbers, so nothing in the file needs escaping.
# -DNAMESPACE=... puts the array in another namespace than Kelvo::Viewer.
if(NOT NAMESPACE)
  set(NAMESPACE Kelvo::Viewer)
endif()
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by the build from ${INPUT}; edit that file instead.\n"
  "namespace ${NAMESPACE} {\nextern const char ${NAME}[];\nconst char ${NAME}[] = {\n${bytes}0x00};\n}\n")

# cmake -DOUTPUT=file.cpp -DFILES="path|name|path|name..." -P Embed.cmake
# Writes a C++ source defining qm::share::<name>[] as the bytes of each file,
# ended by a zero byte: text files built into the program without writing
# them out as string literals by hand.
string(REPLACE "|" ";" pairs "${FILES}")
string(REPEAT "." 64 line)  # sixteen escapes of four characters
set(text "// Made by cmake/Embed.cmake from the files named below; edit those.\n")
string(APPEND text "namespace qm::share {\n")
list(LENGTH pairs count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET pairs ${i} path)
  list(GET pairs ${j} name)
  file(READ ${path} hex HEX)
  # Every byte as a \xNN escape, 16 to a line of string literal.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
  string(REGEX REPLACE "(${line})" "\\1\"\n\"" bytes "${bytes}")
  get_filename_component(file ${path} NAME)
  string(APPEND text "// ${file}\nextern const char ${name}[];\nconst char ${name}[] =\n\"${bytes}\";\n")
endforeach()
string(APPEND text "}  // namespace qm::share\n")
file(WRITE ${OUTPUT}.tmp "${text}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)

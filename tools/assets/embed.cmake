# Writes the question bank source files as C++ strings:
#   cmake -DROOT=bank -DOUT=bank_text.cpp -P embed.cmake
file(GLOB_RECURSE paths RELATIVE ${ROOT} ${ROOT}/*.txt)
list(SORT paths)
set(arrays "")
set(rows "")
set(i 0)
foreach(name ${paths})
  file(READ ${ROOT}/${name} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," chars "${hex}")
  string(APPEND arrays "static const char f${i}[] = {${chars} 0};\n")
  string(APPEND rows "      {\"${name}\", std::string(f${i}, sizeof f${i} - 1)},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE ${OUT} "#include \"tools/assets/questions.h\"\nnamespace {\n${arrays}}  // namespace\n"
  "std::vector<BankFile> BuiltInBankFiles() {\n  return {\n${rows}  };\n}\n")

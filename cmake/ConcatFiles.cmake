# cmake -DOUTPUT=file -DINPUTS="a|b|c" -P ConcatFiles.cmake: writes the inputs one after
# another into OUTPUT.
string(REPLACE "|" ";" inputs "${INPUTS}")
set(text "")
foreach(input IN LISTS inputs)
  file(READ "${input}" part)
  string(APPEND text "${part}")
endforeach()
file(WRITE "${OUTPUT}" "${text}")

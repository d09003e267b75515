# Runs at install time (install(CODE) includes it), when CMAKE_INSTALL_PREFIX is
# the prefix actually installed to. Expects FERROVANT_DESKTOP_IN and
# FERROVANT_DESKTOP_OUT.
#
# Exec takes the path as one quoted argument. Inside the quotes the characters
# " ` $ and \ are escaped with a backslash, a literal % is doubled, and the
# key file format then doubles every backslash once more.
set(exec "${CMAKE_INSTALL_PREFIX}/bin/ferrovant")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" FERROVANT_EXEC "${exec}")
configure_file("${FERROVANT_DESKTOP_IN}" "${FERROVANT_DESKTOP_OUT}" @ONLY)

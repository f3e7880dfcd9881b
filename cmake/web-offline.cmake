# Run as the page is installed, after its files: writes its service worker
# (from SEGNI_SW_TEMPLATE), which keeps every file the page loads in one
# cache named after the content of them all. Licences are not loaded, and
# compressed copies of files are the same content as the files.
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE files RELATIVE "${folder}" "${folder}/*")
list(FILTER files EXCLUDE REGEX "^licences/|^sw\\.js$|\\.(gz|br)$")
list(SORT files)
set(content "")
# The folder itself is the page's address.
set(SEGNI_FILES "'./'")
foreach(file IN LISTS files)
  file(SHA256 "${folder}/${file}" sum)
  string(APPEND content "${file} ${sum}\n")
  string(APPEND SEGNI_FILES ", '${file}'")
endforeach()
string(SHA256 SEGNI_CONTENT "${content}")
string(SUBSTRING "${SEGNI_CONTENT}" 0 16 SEGNI_CONTENT)
configure_file("${SEGNI_SW_TEMPLATE}" "${folder}/sw.js" @ONLY)

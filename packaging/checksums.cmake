# Writes SHA256SUMS over every file installed so far, in the format of
# sha256sum (so "sha256sum -c SHA256SUMS" checks a download), sorted by path.
set(top "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${top}" "${top}/*")
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 "${top}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${top}/SHA256SUMS" "${sums}")
message(STATUS "Checksums: ${top}/SHA256SUMS")

# Run by CPack once it has made the packages: writes SHA256SUMS beside them, a line
# "<hash>  <file name>" each, as sha256sum does, for `sha256sum -c SHA256SUMS`.
# CPACK_PACKAGE_FILES are still in CPack's staging area; they are copied, unchanged, to
# CPACK_PACKAGE_DIRECTORY.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 ${package} hash)
  get_filename_component(name ${package} NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")

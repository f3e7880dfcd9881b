# Run by CPack on the staged files, before it builds the Debian package:
# adds the lintian overrides and strips the program the way Debian's own
# tools do (the comment and note sections too, which a plain strip keeps).
set(staged "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${staged}/share/lintian/overrides")
file(COPY_FILE "${CMAKE_CURRENT_LIST_DIR}/segni.lintian-overrides"
  "${staged}/share/lintian/overrides/segni")
execute_process(
  COMMAND "${CPACK_SEGNI_STRIP}" --remove-section=.comment --remove-section=.note
          "${staged}/bin/segni"
  COMMAND_ERROR_IS_FATAL ANY)

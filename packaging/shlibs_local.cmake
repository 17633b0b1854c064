# CPack's pre-build script for the Debian package: the build release's freeglut line
# (packaging.cmake) where dpkg-shlibdeps, run by CPack in the staging folder, reads
# overrides first. CPack removes that debian/ folder once it has the Depends line.
file(MAKE_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}/debian)
file(COPY_FILE ${CPACK_DICE_SHLIBS_LOCAL} ${CPACK_TEMPORARY_DIRECTORY}/debian/shlibs.local)

# cmake -DSOURCE=DIR -DNAME=varnelt-VERSION -P source_tarball.cmake: writes NAME.tar.gz in the
# current folder from the files git tracks in DIR, below one folder NAME/: no build folder, whatever
# its name or place, and nothing git ignores. Run through with_epoch.cmake, so dated by the one
# SOURCE_DATE_EPOCH rule; owned by root, in name order, with explicit modes (0644, or 0755 where git
# keeps the file executable), and gzip -n writes no time: the same checkout gives the same bytes.
execute_process(
    COMMAND git -C ${SOURCE} ls-files -z
    COMMAND tar --create --owner=0 --group=0 --numeric-owner --format=gnu --mode=u=rwX,go=rX
            --mtime=@$ENV{SOURCE_DATE_EPOCH} --transform=s,^,${NAME}/,
            --directory=${SOURCE} --verbatim-files-from --null --files-from=-
    COMMAND gzip -9n
    OUTPUT_FILE ${NAME}.tar.gz.new
    RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0;0")
    file(REMOVE ${NAME}.tar.gz.new)
    message(FATAL_ERROR "git ls-files | tar | gzip -9n in ${SOURCE} failed: ${results}")
endif()
file(RENAME ${NAME}.tar.gz.new ${NAME}.tar.gz)

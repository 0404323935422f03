# A stop is timed against a check measured a moment before: another test on
# the other core starves the copy's low-priority worker now and then, and the
# stop then waits for it longer than the measured check would let it.
varnel_test_class(startup TestDailyBackup THREADS SERIAL)

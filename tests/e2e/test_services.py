"""A silent run against real services of the service manager."""
import winetest as w

PRODUCT = ("kvdrNT2", "kvtlsvc", "brenserv")


class Services(w.WineTestCase):
    def setUp(self):
        self.tool = w.install_tool("C:\\Games\\Svc")
        w.create_service("kvdrNT2", running=True)
        w.create_service("kvtlsvc", running=True)
        w.create_service("brenserv", running=False)
        w.create_service("kvtlsvc2", running=True)  # another product's, named alike

    def tearDown(self):
        for name in PRODUCT + ("kvtlsvc2",):
            w.remove_service(name)
        w.remove_tree("C:\\Games\\Svc")

    def test_silent_run_stops_the_driver_and_marks_all_three(self):
        self.assertEqual(w.service_state("kvdrNT2"), "RUNNING")
        result = w.run_launched(self.tool, "-s", "-l", "C:\\tvtest\\services.log")
        self.assertEqual(result.code, 0)
        self.assertEqual(w.debug_strings(result), [w.SILENT_NOTICE, w.COMPLETED])
        lines = w.read_log("C:\\tvtest\\services.log")
        # Judged after the folder step: the driver may still be on its way out.
        self.assertTrue({"removed service kvdrNT2", "pending service kvdrNT2 (deleted when it stops)"}
                        & set(lines), lines)
        self.assertIn("pending service kvtlsvc (deleted when it stops)", lines)
        self.assertIn("removed service brenserv", lines)
        self.assertIn("pending service kvtlsvc (deleted when it stops)\n", result.out)
        self.assertTrue(lines[-1].endswith("; exit code 0"), lines[-1])

        # The driver was sent a stop and goes once it has stopped.
        self.assertTrue(w.wait_for(lambda: w.service_state("kvdrNT2") is None), "kvdrNT2 still installed")
        self.assertIsNone(w.service_state("brenserv"))
        # No stop was sent to kvtlsvc: it runs on, marked; stopped, it goes.
        self.assertEqual(w.service_state("kvtlsvc"), "RUNNING")
        w.sc("stop", "kvtlsvc")
        self.assertTrue(w.wait_for(lambda: w.service_state("kvtlsvc") is None), "kvtlsvc was not marked")
        # The neighbour was neither stopped nor marked.
        self.assertEqual(w.service_state("kvtlsvc2"), "RUNNING")
        w.sc("stop", "kvtlsvc2")
        self.assertTrue(w.wait_for(lambda: w.service_state("kvtlsvc2") == "STOPPED"))

    def test_stopped_service_held_by_another_program_is_pending(self):
        log = "C:\\tvtest\\held_service.log"
        with w.held("brenserv", release="C:\\tvtest\\brenserv.release", service=True):
            result = w.run_launched(self.tool, "-s", "-l", log)
            self.assertEqual(result.code, 0)
            self.assertIn("pending service brenserv (deleted when the last handle to it closes)", w.read_log(log))
            self.assertEqual(w.service_state("brenserv"), "STOPPED", "still listed while it is held")
        self.assertTrue(w.wait_for(lambda: w.service_state("brenserv") is None), "brenserv was not marked")
        w.unix(log).unlink()

    def test_second_run_finds_nothing_and_still_completes(self):
        w.run_tool(self.tool, "-s")
        w.sc("stop", "kvtlsvc")
        w.wait_for(lambda: w.service_state("kvtlsvc") is None)
        result = w.run_tool(self.tool, "-s")
        self.assertEqual(result.returncode, 0)
        self.assertEqual(w.debug_strings(result), [w.SILENT_NOTICE, w.COMPLETED])


if __name__ == "__main__":
    w.main()

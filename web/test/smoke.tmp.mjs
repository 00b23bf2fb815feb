import * as s from './support.mjs';
const { server, url } = await s.startServer();
const browser = await s.launchBrowser();
try {
  const { page, nextDownload, failures } = await s.openPage(browser, url); page.on('console', m => console.log('console:', m.text()));
  const client = await page.createCDPSession();
  await client.send('Performance.enable');
  let peak = {};
  let stop = false;
  const sampler = (async () => {
    while (!stop) {
      const m = Object.fromEntries((await client.send('Performance.getMetrics')).metrics.map(x => [x.name, x.value]));
      let w = 0;
      for (const worker of page.workers()) { try { const h = await worker.client.send('Runtime.getHeapUsage'); w = Math.max(w, h.totalSize); } catch (e) {} }
      peak.page = Math.max(peak.page ?? 0, m.JSHeapTotalSize); peak.worker = Math.max(peak.worker ?? 0, w);
      await new Promise(r => setTimeout(r, 50));
    }
  })();
  const t0 = Date.now();
  const r = await s.convertInPage(page, ['/tmp/i25-bench/db100k/ths.mst', '/tmp/i25-bench/db100k/ths.xrf'], { format: 'tagged' });
  const t1 = Date.now();
  stop = true; await sampler;
  console.log(r.status, t1 - t0, "ms", peak, await page.evaluate(() => [document.body.dataset.programMemory, document.body.dataset.programMilliseconds]));
  const d = await s.saveFromPage(page, nextDownload);
  const n = s.nativeExport('/tmp/i25-bench/db100k', 'ths.mst', {});
  console.log(d.name, d.bytes.length, n.bytes.length, Buffer.compare(d.bytes, n.bytes), failures);
} finally { await browser.close(); server.close(); }

// SPDX-License-Identifier: MIT
// A real OpenRGB SDK client, the npm package openrgb-sdk, against
// brimsel-ctl --openrgb in the tests.
//   node openrgb-client.js PORT list          the controllers, a JSON line each
//   node openrgb-client.js PORT set RRGGBB    every controller's LEDs to that colour
//   node openrgb-client.js PORT watch SECONDS "count N, M connected" each time that changes
const { Client } = require("openrgb-sdk");

async function main() {
    const [port, what, arg] = process.argv.slice(2);
    const client = new Client("brimsel tests", Number(port), "127.0.0.1");
    await client.connect();
    console.log(JSON.stringify({ protocol: client.protocolVersion }));
    const count = await client.getControllerCount();
    const devices = [];
    for (let i = 0; i < count; i++) devices.push(await client.getControllerData(i));
    if (what === "list") {
        for (const d of devices)
            console.log(JSON.stringify({ name: d.name, vendor: d.vendor, type: d.type, serial: d.serial,
                                         location: d.location, modes: d.modes.map(m => m.name),
                                         zones: d.zones.length, leds: d.leds.length, colors: d.colors }));
    } else if (what === "set") {
        const c = { red: parseInt(arg.slice(0, 2), 16), green: parseInt(arg.slice(2, 4), 16),
                    blue: parseInt(arg.slice(4, 6), 16) };
        for (let i = 0; i < devices.length; i++) {
            await client.updateMode(i, 0);
            await client.updateLeds(i, [c]);
        }
        // What the agent has taken is read back as the controllers' colour.
        await new Promise(r => setTimeout(r, 200));
        for (let i = 0; i < devices.length; i++)
            console.log(JSON.stringify({ name: devices[i].name, colors: (await client.getControllerData(i)).colors }));
    } else if (what === "watch") {
        // This client hears a notice only while a request of its own is
        // out, so it asks again and again instead.
        const look = async () => {
            const n = await client.getControllerCount();
            let on = 0;
            for (let i = 0; i < n; i++)
                on += (await client.getControllerData(i)).description.endsWith("not connected") ? 0 : 1;
            return "count " + n + ", " + on + " connected";
        };
        let last = await look();
        console.log(last);
        for (const end = Date.now() + Number(arg) * 1000; Date.now() < end;) {
            const now = await look();
            if (now !== last)
                console.log(now);
            last = now;
            await new Promise(r => setTimeout(r, 50));
        }
    }
    await client.disconnect();
}

main().then(() => process.exit(0), e => { console.error(String(e)); process.exit(1); });
